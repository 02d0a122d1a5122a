#include "toolkit/uClasses.h"

#include <algorithm>
#include <map>

namespace {

bool SameTextAscii(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

std::map<std::string, TComponentFactory>& Registry() {
    static std::map<std::string, TComponentFactory> registry;
    return registry;
}

} // namespace

// ---- TPropList ----

void TPropList::Int(const char* name, TPropFn<std::int32_t()> get, TPropFn<void(std::int32_t)> set,
                    std::optional<std::int32_t> def) {
    TPropInfo p{name,
                TValueType::Int,
                [get] { return TPropValue::MakeInt(get()); },
                [set](const TPropValue& v) { set(v.Int); },
                std::nullopt,
                {}};
    if (def) p.Default = TPropValue::MakeInt(*def);
    Add(std::move(p));
}

void TPropList::Bool(const char* name, TPropFn<bool()> get, TPropFn<void(bool)> set,
                     std::optional<bool> def) {
    TPropInfo p{name,
                TValueType::Bool,
                [get] { return TPropValue::MakeBool(get()); },
                [set](const TPropValue& v) { set(v.Int != 0); },
                std::nullopt,
                {}};
    if (def) p.Default = TPropValue::MakeBool(*def);
    Add(std::move(p));
}

void TPropList::Color(const char* name, TPropFn<std::int32_t()> get, TPropFn<void(std::int32_t)> set,
                      std::optional<std::int32_t> def) {
    TPropInfo p{name,
                TValueType::Color,
                [get] { return TPropValue::MakeColor(get()); },
                [set](const TPropValue& v) { set(v.Int); },
                std::nullopt,
                {}};
    if (def) p.Default = TPropValue::MakeColor(*def);
    Add(std::move(p));
}

void TPropList::String(const char* name, TPropFn<std::string()> get, TPropFn<void(const std::string&)> set,
                       std::optional<std::string> def) {
    TPropInfo p{name,
                TValueType::String,
                [get] { return TPropValue::MakeString(get()); },
                [set](const TPropValue& v) { set(v.Str); },
                std::nullopt,
                {}};
    if (def) p.Default = TPropValue::MakeString(*def);
    Add(std::move(p));
}

void TPropList::Enum(const char* name, const std::vector<std::string>& names, TPropFn<int()> get,
                     TPropFn<void(int)> set, std::optional<int> def) {
    auto shared = std::make_shared<std::vector<std::string>>(names);
    TPropInfo p{name,
                TValueType::Ident,
                [get, shared] {
                    int i = get();
                    if (i < 0 || static_cast<std::size_t>(i) >= shared->size())
                        throw EComponentError("Enumeration value out of range");
                    return TPropValue::MakeIdent((*shared)[static_cast<std::size_t>(i)]);
                },
                [set, shared, propName = std::string(name)](const TPropValue& v) {
                    for (std::size_t i = 0; i < shared->size(); ++i)
                        if ((*shared)[i] == v.Str) return set(static_cast<int>(i));
                    throw ECorruptData("Invalid value " + v.Str + " for property " + propName);
                },
                std::nullopt,
                names};
    if (def) p.Default = TPropValue::MakeIdent(names.at(static_cast<std::size_t>(*def)));
    Add(std::move(p));
}

void TPropList::Set(const char* name, const std::vector<std::string>& names, TPropFn<std::uint32_t()> get,
                    TPropFn<void(std::uint32_t)> set, std::optional<std::uint32_t> def) {
    auto shared = std::make_shared<std::vector<std::string>>(names);
    auto toValue = [shared](std::uint32_t bits) {
        std::vector<std::string> members;
        for (std::size_t i = 0; i < shared->size() && i < 32; ++i)
            if (bits & (1u << i)) members.push_back((*shared)[i]);
        return TPropValue::MakeSet(members);
    };
    TPropInfo p{name,
                TValueType::Set,
                [get, toValue] { return toValue(get()); },
                [set, shared, propName = std::string(name)](const TPropValue& v) {
                    std::uint32_t bits = 0;
                    for (const auto& m : v.List) {
                        auto it = std::find(shared->begin(), shared->end(), m);
                        if (it == shared->end() || it - shared->begin() >= 32)
                            throw ECorruptData("Invalid set member " + m + " for property " + propName);
                        bits |= 1u << (it - shared->begin());
                    }
                    set(bits);
                },
                std::nullopt,
                names};
    if (def) p.Default = toValue(*def);
    Add(std::move(p));
}

void TPropList::Strings(const char* name, TPropFn<std::vector<std::string>()> get,
                        TPropFn<void(std::vector<std::string>)> set) {
    Add({name,
         TValueType::List,
         [get] { return TPropValue::MakeList(get()); },
         [set](const TPropValue& v) { set(v.List); },
         TPropValue::MakeList({}),
         {}});
}

void TPropList::Binary(const char* name, TPropFn<std::vector<std::uint8_t>()> get,
                       TPropFn<void(std::vector<std::uint8_t>)> set) {
    Add({name,
         TValueType::Binary,
         [get] { return TPropValue::MakeBinary(get()); },
         [set](const TPropValue& v) { set(v.Bytes); },
         TPropValue::MakeBinary({}),
         {}});
}

const TPropInfo* TPropList::Find(const std::string& name) const {
    for (const auto& p : FProps)
        if (SameTextAscii(p.Name, name)) return &p;
    return nullptr;
}

const TFiler::TBinaryProp* TFiler::Find(const std::string& name) const {
    for (const auto& p : FProps)
        if (SameTextAscii(p.Name, name)) return &p;
    return nullptr;
}

// ---- TComponent ----

TComponent::TComponent(TComponent* owner) : FOwner(owner) {
    if (owner) {
        owner->Insert(this);
        FState = owner->FState & csDesigning;
    }
}

TComponent::~TComponent() {
    // Each owned component removes itself from FComponents as it goes.
    while (!FComponents.empty()) delete FComponents.back();
    if (FOwner) FOwner->Remove(this);
}

void TComponent::Remove(TComponent* c) {
    auto it = std::find(FComponents.begin(), FComponents.end(), c);
    if (it != FComponents.end()) FComponents.erase(it);
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    if (name.empty()) return nullptr;
    for (TComponent* c : FComponents)
        if (SameTextAscii(c->FName, name)) return c;
    return nullptr;
}

void TComponent::SetName(const std::string& name) {
    if (SameTextAscii(name, FName) && name == FName) return;
    if (FOwner) {
        TComponent* other = FOwner->FindComponent(name);
        if (other && other != this) throw EComponentError("A component named " + name + " already exists");
    }
    FName = name;
}

void TComponent::SetDesigning(bool on) {
    FState = on ? (FState | csDesigning) : (FState & ~std::uint32_t(csDesigning));
    for (TComponent* c : FComponents) c->SetDesigning(on);
}

void TComponent::SetLoading(bool on) {
    FState = on ? (FState | csLoading) : (FState & ~std::uint32_t(csLoading));
}

void TComponent::GetProperties(TPropList& props) {
    props.Int(
        "Tag", [this] { return FTag; }, [this](std::int32_t v) { FTag = v; }, 0);
}

void TComponent::DefineProperties(TFiler&) {}

void TComponent::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
    if (root != this) return;
    for (TComponent* c : FComponents)
        if (c->StoredUnderRoot()) proc(c);
}

void TComponent::ReadChild(TComponent*) {}

// ---- registry ----

void RegisterComponentClass(const std::string& className, TComponentFactory factory) {
    Registry()[className] = std::move(factory);
}

TComponent* CreateComponentByClassName(const std::string& className, TComponent* owner) {
    auto it = Registry().find(className);
    if (it == Registry().end()) throw EClassNotFound("Class " + className + " not found");
    return it->second(owner);
}

std::string ValueTypeName(TValueType t) {
    switch (t) {
    case TValueType::Int:
        return "int";
    case TValueType::Bool:
        return "bool";
    case TValueType::String:
        return "string";
    case TValueType::Color:
        return "colour";
    case TValueType::Ident:
        return "ident";
    case TValueType::Set:
        return "set";
    case TValueType::List:
        return "list";
    case TValueType::Binary:
        return "binary";
    }
    return "unknown";
}
