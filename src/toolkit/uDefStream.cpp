// Writing and reading the stored window definition (layout in toolkit/uDefFormat.h).
#include "toolkit/uClasses.h"

#include <algorithm>
#include <cstring>

namespace {

void WriteValue(TDefWriter& w, const TPropValue& v) {
    w.U8(static_cast<std::uint8_t>(v.Type));
    switch (v.Type) {
    case TValueType::Int:
    case TValueType::Color:
        w.I32(v.Int);
        break;
    case TValueType::Bool:
        w.U8(v.Int ? 1 : 0);
        break;
    case TValueType::String:
    case TValueType::Ident:
        w.Str(v.Str);
        break;
    case TValueType::Set:
    case TValueType::List:
        w.I32(static_cast<std::int32_t>(v.List.size()));
        for (const auto& s : v.List) w.Str(s);
        break;
    case TValueType::Binary:
        w.Bytes(v.Bytes);
        break;
    }
}

void WriteObject(TDefWriter& w, TComponent& c, TComponent& root) {
    w.Str(c.ClassName());
    w.Str(c.Name());

    TPropList props;
    c.GetProperties(props);
    std::vector<std::pair<const TPropInfo*, TPropValue>> stored;
    for (const auto& p : props.Items()) {
        TPropValue v = p.Get();
        if ((p.Default && v == *p.Default) || (p.Stored && !p.Stored())) continue;
        stored.emplace_back(&p, std::move(v));
    }
    w.I32(static_cast<std::int32_t>(stored.size()));
    for (const auto& [p, v] : stored) {
        w.Str(p->Name);
        WriteValue(w, v);
    }

    TFiler filer;
    c.DefineProperties(filer);
    std::int32_t count = 0;
    for (const auto& b : filer.Items()) count += b.HasData ? 1 : 0;
    w.I32(count);
    for (const auto& b : filer.Items()) {
        if (!b.HasData) continue;
        TMemoryStream data;
        b.Writer(data);
        w.Str(b.Name);
        w.Bytes(data.Bytes());
    }

    std::vector<TComponent*> children;
    c.GetChildren([&](TComponent* child) { children.push_back(child); }, &root);
    w.I32(static_cast<std::int32_t>(children.size()));
    for (TComponent* child : children) WriteObject(w, *child, root);
}

TPropValue ReadValue(TDefReader& r) {
    TPropValue v;
    std::uint8_t t = r.U8();
    switch (t) {
    case std::uint8_t(TValueType::Int):
    case std::uint8_t(TValueType::Color):
        v.Type = static_cast<TValueType>(t);
        v.Int = r.I32();
        break;
    case std::uint8_t(TValueType::Bool): {
        v.Type = TValueType::Bool;
        std::uint8_t b = r.U8();
        if (b > 1) throw ECorruptData("Window definition: invalid Boolean value");
        v.Int = b;
        break;
    }
    case std::uint8_t(TValueType::String):
    case std::uint8_t(TValueType::Ident):
        v.Type = static_cast<TValueType>(t);
        v.Str = r.Str();
        break;
    case std::uint8_t(TValueType::Set):
    case std::uint8_t(TValueType::List): {
        v.Type = static_cast<TValueType>(t);
        std::size_t n = r.Count(4);
        v.List.reserve(n);
        for (std::size_t i = 0; i < n; ++i) v.List.push_back(r.Str());
        break;
    }
    case std::uint8_t(TValueType::Binary):
        v.Type = TValueType::Binary;
        v.Bytes = r.Bytes();
        break;
    default:
        throw ECorruptData("Window definition: unknown value type " + std::to_string(t));
    }
    return v;
}

bool Fits(TValueType propType, TValueType stored) {
    if (propType == stored) return true;
    // A colour may be written as a plain number.
    return propType == TValueType::Color && stored == TValueType::Int;
}

// A definition read while another is being read (a component's binary property holding a
// nested one) shares the outer read's budget: its components count on from the level of
// the component holding it, and all nested definitions together may take no more bytes
// than the outermost one. So nesting can neither restart the depth count nor copy the
// rest of the data at each level.
struct TDefBudget {
    int Depth = 0;              // level of the component whose properties are being read
    std::size_t NestedLeft = 0; // bytes nested definitions may still take
};

// A binary property's data as its reader is handed it: a definition read from it is a
// nested one and draws on the budget of the read that holds it. (The budget travels with
// the data rather than in a thread-local, which would link the thread runtime's keys
// into the installer.)
class TPropertyData : public TMemoryStream {
public:
    TPropertyData(std::vector<std::uint8_t> data, TDefBudget& budget)
        : TMemoryStream(std::move(data)), FBudget(budget) {}
    TDefBudget& Budget() const { return FBudget; }

private:
    TDefBudget& FBudget;
};

// Claims the budget for one definition read: the outermost read (outer null) sets up its
// own, a nested one draws from the outer one and leaves its level as it found it.
class TBudgetScope {
public:
    TBudgetScope(std::size_t size, TDefBudget* outer) : FOuter(outer) {
        if (!FOuter) {
            FOwn.NestedLeft = size;
            return;
        }
        if (size > FOuter->NestedLeft) throw ECorruptData("Window definition: nested definitions too large");
        if (FOuter->Depth + 1 > kDefMaxDepth) throw ECorruptData("Window definition: nesting too deep");
        FOuter->NestedLeft -= size;
        FSavedDepth = FOuter->Depth;
        FBase = FOuter->Depth + 1;
    }
    ~TBudgetScope() {
        if (FOuter) FOuter->Depth = FSavedDepth;
    }
    TBudgetScope(const TBudgetScope&) = delete;
    TBudgetScope& operator=(const TBudgetScope&) = delete;

    TDefBudget& Budget() { return FOuter ? *FOuter : FOwn; }
    // Level of the definition's root component.
    int Base() const { return FBase; }

private:
    TDefBudget* FOuter;
    TDefBudget FOwn;
    int FSavedDepth = 0;
    int FBase = 0;
};

class TDefLoader {
public:
    TDefLoader(TComponent& root, TBudgetScope& scope)
        : FRoot(root), FBudget(scope.Budget()), FBase(scope.Base()) {}

    // depth: the component's level below the definition's root (0 for the root).
    void ReadProperties(TDefReader& r, TComponent& c, int depth) {
        FBudget.Depth = FBase + depth;
        TPropList props;
        c.GetProperties(props);
        std::size_t n = r.Count(6);
        for (std::size_t i = 0; i < n; ++i) {
            std::string name = r.Str();
            TPropValue v = ReadValue(r);
            const TPropInfo* p = props.Find(name);
            if (!p) throw ECorruptData("Property " + name + " does not exist in " + c.ClassName());
            if (!Fits(p->Type, v.Type))
                throw ECorruptData("Property " + c.ClassName() + "." + name + " is not of type " +
                                   ValueTypeName(v.Type));
            v.Type = p->Type;
            p->Set(v);
        }
        TFiler filer;
        c.DefineProperties(filer);
        std::size_t b = r.Count(8);
        for (std::size_t i = 0; i < b; ++i) {
            std::string name = r.Str();
            std::vector<std::uint8_t> data = r.Bytes();
            const TFiler::TBinaryProp* p = filer.Find(name);
            if (!p) throw ECorruptData("Binary property " + name + " does not exist in " + c.ClassName());
            TPropertyData s(std::move(data), FBudget);
            p->Reader(s);
        }
    }

    void ReadChildren(TDefReader& r, TComponent& parent, int depth) {
        if (FBase + depth > kDefMaxDepth) throw ECorruptData("Window definition: nesting too deep");
        std::size_t n = r.Count(20);
        for (std::size_t i = 0; i < n; ++i) {
            std::string className = r.Str();
            std::string name = r.Str();
            TComponent* child = nullptr;
            if (!name.empty()) child = FRoot.FindComponent(name);
            if (child && child->ClassName() != className)
                throw ECorruptData("Component " + name + " is not a " + className);
            if (!child) {
                // Owned by the root from here on, so an error below cannot leak it.
                child = CreateComponentByClassName(className, &FRoot);
                child->SetName(name);
            }
            child->SetLoading(true);
            FRead.push_back(child);
            parent.ReadChild(child);
            ReadProperties(r, *child, depth);
            ReadChildren(r, *child, depth + 1);
        }
    }

    void Finish() {
        for (TComponent* c : FRead) c->SetLoading(false);
        for (TComponent* c : FRead) c->Loaded();
    }

    void Abort() {
        for (TComponent* c : FRead) c->SetLoading(false);
    }

    std::vector<TComponent*> FRead;

private:
    TComponent& FRoot;
    TDefBudget& FBudget;
    int FBase;
};

} // namespace

void WriteComponentDef(TStream& stream, TComponent& root) {
    auto bytes = ComponentDefBytes(root);
    stream.WriteBuffer(bytes.data(), bytes.size());
}

std::vector<std::uint8_t> ComponentDefBytes(TComponent& root) {
    TDefWriter w;
    w.Raw(kDefSignature, sizeof kDefSignature);
    w.U8(kDefVersion);
    WriteObject(w, root, root);
    return std::move(w.Result());
}

namespace {

void ReadDefinition(const std::uint8_t* data, std::size_t size, TComponent& root,
                    const std::vector<std::string>& rootClasses, TDefBudget* outer) {
    TBudgetScope scope(size, outer);
    TDefReader r(data, size);
    char sig[4];
    r.Raw(sig, 4);
    if (std::memcmp(sig, kDefSignature, 4) != 0) throw ECorruptData("Window definition: invalid signature");
    if (r.U8() != kDefVersion) throw ECorruptData("Window definition: unsupported version");
    std::string className = r.Str();
    bool classOk = className == root.ClassName();
    for (const auto& c : rootClasses) classOk = classOk || c == className;
    if (!classOk) throw ECorruptData("Window definition is for " + className + ", not " + root.ClassName());
    std::string name = r.Str();
    TDefLoader loader(root, scope);
    root.SetLoading(true);
    loader.FRead.push_back(&root);
    try {
        root.SetName(name);
        loader.ReadProperties(r, root, 0);
        loader.ReadChildren(r, root, 1);
        if (r.Left() != 0) throw ECorruptData("Window definition: data after the end");
    } catch (...) {
        loader.Abort();
        throw;
    }
    loader.Finish();
}

} // namespace

void ReadComponentDef(const std::uint8_t* data, std::size_t size, TComponent& root,
                      const std::vector<std::string>& rootClasses) {
    ReadDefinition(data, size, root, rootClasses, nullptr);
}

void ReadComponentDef(TStream& stream, TComponent& root, const std::vector<std::string>& rootClasses) {
    // A memory stream (a binary property's data) is read in place.
    if (auto* memory = dynamic_cast<TMemoryStream*>(&stream)) {
        const std::size_t total = memory->Bytes().size();
        const std::size_t at = std::min(static_cast<std::size_t>(memory->Position()), total);
        memory->SetPosition(static_cast<std::int64_t>(total));
        const auto* property = dynamic_cast<const TPropertyData*>(memory);
        ReadDefinition(memory->Memory() + at, total - at, root, rootClasses,
                       property ? &property->Budget() : nullptr);
        return;
    }
    std::int64_t left = stream.Remaining();
    std::vector<std::uint8_t> data(static_cast<std::size_t>(left));
    stream.ReadBuffer(data.data(), data.size());
    ReadComponentDef(data.data(), data.size(), root, rootClasses);
}

namespace {

// Reads one object and its children, keeping the first of class className.
void FindIn(TDefReader& r, const std::string& className, int depth, std::optional<TStoredComponent>& found) {
    if (depth > kDefMaxDepth) throw ECorruptData("Window definition: components nested too deep");
    const std::string objectClass = r.Str();
    r.Str(); // the component's name
    TStoredComponent c;
    for (std::size_t i = 0, n = r.Count(5); i < n; ++i) {
        std::string name = r.Str();
        c.Values.insert_or_assign(std::move(name), ReadValue(r));
    }
    for (std::size_t i = 0, n = r.Count(8); i < n; ++i) {
        std::string name = r.Str();
        c.Binaries.insert_or_assign(std::move(name), r.Bytes());
    }
    if (!found && objectClass == className) found = std::move(c);
    for (std::size_t i = 0, n = r.Count(12); i < n; ++i) FindIn(r, className, depth + 1, found);
}

} // namespace

std::optional<TStoredComponent> FindStoredComponent(const std::uint8_t* data, std::size_t size,
                                                    const std::string& className) {
    TDefReader r(data, size);
    char sig[4];
    r.Raw(sig, 4);
    if (std::memcmp(sig, kDefSignature, 4) != 0) throw ECorruptData("Window definition: invalid signature");
    if (r.U8() != kDefVersion) throw ECorruptData("Window definition: unsupported version");
    std::optional<TStoredComponent> found;
    FindIn(r, className, 0, found);
    if (r.Left() != 0) throw ECorruptData("Window definition: data after the end");
    return found;
}
