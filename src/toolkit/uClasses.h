#pragma once
// The component model: components owned by an owner that frees them, published
// properties with typed values, named binary properties, a registry of component classes
// by name, and the streaming of a component tree to and from the stored window definition
// (format in toolkit/uDefFormat.h).
#include "store/uStreams.h"
#include "toolkit/uDefFormat.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

class TComponent;
class TWinControl;

// One typed property value. Int, Bool (0/1) and Color use Int; String and Ident use Str;
// Set and List use List; Binary uses Bytes.
struct TPropValue {
    TValueType Type = TValueType::Int;
    std::int32_t Int = 0;
    std::string Str;
    std::vector<std::string> List;
    std::vector<std::uint8_t> Bytes;

    static TPropValue MakeInt(std::int32_t v) { return {TValueType::Int, v, {}, {}, {}}; }
    static TPropValue MakeBool(bool v) { return {TValueType::Bool, v ? 1 : 0, {}, {}, {}}; }
    static TPropValue MakeColor(std::int32_t v) { return {TValueType::Color, v, {}, {}, {}}; }
    static TPropValue MakeString(std::string v) { return {TValueType::String, 0, std::move(v), {}, {}}; }
    static TPropValue MakeIdent(std::string v) { return {TValueType::Ident, 0, std::move(v), {}, {}}; }
    static TPropValue MakeSet(std::vector<std::string> v) {
        return {TValueType::Set, 0, {}, std::move(v), {}};
    }
    static TPropValue MakeList(std::vector<std::string> v) {
        return {TValueType::List, 0, {}, std::move(v), {}};
    }
    static TPropValue MakeBinary(std::vector<std::uint8_t> v) {
        return {TValueType::Binary, 0, {}, {}, std::move(v)};
    }
    bool operator==(const TPropValue&) const = default;
};

// A published property: how to read and write it, and the default that is not stored.
struct TPropInfo {
    std::string Name;
    TValueType Type = TValueType::Int;
    std::function<TPropValue()> Get;
    std::function<void(const TPropValue&)> Set;
    std::optional<TPropValue> Default; // a value equal to it is not stored
    std::vector<std::string> Names;    // the identifiers of an enumeration or set
    std::function<bool()> Stored = {}; // when given and false, the value is not stored
};

// The reader or writer of one published property as a component hands it over: a small
// callable that captures no more than a pointer or two (in practice the component's
// `this`), held in place. Unlike std::function it needs no copy or destroy routine per
// lambda, and the property tables of the components are most of the toolkit's code.
template <typename Sig> class TPropFn;
template <typename R, typename... A> class TPropFn<R(A...)> {
public:
    TPropFn() = default;
    template <typename F, typename = std::enable_if_t<!std::is_same_v<std::decay_t<F>, TPropFn>>>
    TPropFn(F f) { // NOLINT: converts from any small callable, as std::function does
        static_assert(sizeof(F) <= sizeof(FStore) && alignof(F) <= alignof(void*),
                      "a property accessor captures at most two pointers");
        static_assert(std::is_trivially_copyable_v<F> && std::is_trivially_destructible_v<F>,
                      "a property accessor captures pointers or plain values only");
        new (FStore) F(f);
        FCall = [](const void* store, A... args) -> R {
            return (*static_cast<const F*>(store))(std::forward<A>(args)...);
        };
    }
    R operator()(A... args) const { return FCall(FStore, std::forward<A>(args)...); }
    explicit operator bool() const { return FCall != nullptr; }

private:
    alignas(void*) unsigned char FStore[2 * sizeof(void*)] = {};
    R (*FCall)(const void*, A...) = nullptr;
};

// The published properties of one component, in declaration order.
class TPropList {
public:
    void Int(const char* name, TPropFn<std::int32_t()> get, TPropFn<void(std::int32_t)> set,
             std::optional<std::int32_t> def = std::nullopt);
    void Bool(const char* name, TPropFn<bool()> get, TPropFn<void(bool)> set,
              std::optional<bool> def = std::nullopt);
    void Color(const char* name, TPropFn<std::int32_t()> get, TPropFn<void(std::int32_t)> set,
               std::optional<std::int32_t> def = std::nullopt);
    void String(const char* name, TPropFn<std::string()> get, TPropFn<void(const std::string&)> set,
                std::optional<std::string> def = std::string());
    // An enumeration stored by identifier; names[i] is the value i.
    void Enum(const char* name, const std::vector<std::string>& names, TPropFn<int()> get,
              TPropFn<void(int)> set, std::optional<int> def = std::nullopt);
    // A set of enumeration values, bit i for names[i].
    void Set(const char* name, const std::vector<std::string>& names, TPropFn<std::uint32_t()> get,
             TPropFn<void(std::uint32_t)> set, std::optional<std::uint32_t> def = std::nullopt);
    // A list of strings; an empty list is not stored.
    void Strings(const char* name, TPropFn<std::vector<std::string>()> get,
                 TPropFn<void(std::vector<std::string>)> set);
    // Bytes; empty is not stored.
    void Binary(const char* name, TPropFn<std::vector<std::uint8_t>()> get,
                TPropFn<void(std::vector<std::uint8_t>)> set);

    void Add(TPropInfo info) { FProps.push_back(std::move(info)); }
    const std::vector<TPropInfo>& Items() const { return FProps; }
    const TPropInfo* Find(const std::string& name) const;

private:
    std::vector<TPropInfo> FProps;
};

// Collects the named binary properties a component defines.
class TFiler {
public:
    using TReaderProc = std::function<void(TStream&)>;
    using TWriterProc = std::function<void(TStream&)>;
    struct TBinaryProp {
        std::string Name;
        TReaderProc Reader;
        TWriterProc Writer;
        bool HasData = false;
    };
    // hasData false: the property is not written (it is still read when present).
    void DefineBinaryProperty(const std::string& name, TReaderProc reader, TWriterProc writer, bool hasData) {
        FProps.push_back({name, std::move(reader), std::move(writer), hasData});
    }
    const std::vector<TBinaryProp>& Items() const { return FProps; }
    const TBinaryProp* Find(const std::string& name) const;

private:
    std::vector<TBinaryProp> FProps;
};

// Component state flags.
enum TComponentStateFlag : std::uint32_t {
    csLoading = 1,   // properties are being read from a definition
    csDesigning = 2, // the component is being edited or compiled (defc), not run
};

class TComponent {
public:
    explicit TComponent(TComponent* owner);
    // Frees every owned component (last created first), then leaves the owner.
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    virtual std::string ClassName() const { return "TComponent"; }

    TComponent* Owner() const { return FOwner; }
    const std::vector<TComponent*>& Components() const { return FComponents; }
    // The owned component with this name (ASCII case-insensitive), or null.
    TComponent* FindComponent(const std::string& name) const;
    template <typename T> T* Find(const std::string& name) const {
        return dynamic_cast<T*>(FindComponent(name));
    }

    const std::string& Name() const { return FName; }
    // Raises EComponentError when another component of the owner has the name.
    void SetName(const std::string& name);
    std::int32_t Tag() const { return FTag; }
    void SetTag(std::int32_t tag) { FTag = tag; }

    bool IsDesigning() const { return (FState & csDesigning) != 0; }
    bool IsLoading() const { return (FState & csLoading) != 0; }
    // Sets or clears the designing flag on this component and everything it owns.
    void SetDesigning(bool on);
    void SetLoading(bool on);

    // The published properties, in order. Overrides call the inherited one first.
    virtual void GetProperties(TPropList& props);
    // The named binary properties, written after the published ones.
    virtual void DefineProperties(TFiler& filer);
    // The components stored as this one's children when root is the definition's root.
    virtual void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root);
    // False for a component that is stored under another one than the root (a placed control).
    virtual bool StoredUnderRoot() const { return true; }
    // A child read from a definition under this component (a windowed control adopts it).
    virtual void ReadChild(TComponent* child);
    // Called on every component read, after the whole definition is in.
    virtual void Loaded() {}

private:
    void Insert(TComponent* c) { FComponents.push_back(c); }
    void Remove(TComponent* c);

    TComponent* FOwner;
    std::vector<TComponent*> FComponents;
    std::string FName;
    std::int32_t FTag = 0;
    std::uint32_t FState = 0;
};

class EComponentError : public Exception {
public:
    using Exception::Exception;
};
// A class name that no registered class answers to.
class EClassNotFound : public ECorruptData {
public:
    using ECorruptData::ECorruptData;
};

// ---- class registry ----
using TComponentFactory = std::function<TComponent*(TComponent* owner)>;
void RegisterComponentClass(const std::string& className, TComponentFactory factory);
template <typename T> void RegisterComponentClass() {
    T probe(nullptr);
    RegisterComponentClass(probe.ClassName(), [](TComponent* owner) -> TComponent* { return new T(owner); });
}
// Raises EClassNotFound for an unknown name.
TComponent* CreateComponentByClassName(const std::string& className, TComponent* owner);

// ---- streaming ----
// Writes root and its children as one complete definition (with signature) to stream.
void WriteComponentDef(TStream& stream, TComponent& root);
std::vector<std::uint8_t> ComponentDefBytes(TComponent& root);

// Reads a definition into the existing root: its properties, binary properties and
// children (created by class name, owned by root). The stored root class must be root's
// class or one of rootClasses. Raises ECorruptData for malformed data, unknown classes or
// properties, a type that does not fit a property. A binary property's reader reads a
// definition nested in its data from the stream it is handed: the nested one then shares
// the outer read's limits on depth and size.
void ReadComponentDef(TStream& stream, TComponent& root, const std::vector<std::string>& rootClasses = {});
// What a stored definition holds for one component, read without creating it: its
// published values and its binary properties' bytes, by name.
struct TStoredComponent {
    std::map<std::string, TPropValue> Values;
    std::map<std::string, std::vector<std::uint8_t>> Binaries;
};
// The first component of class className in the definition (the root and its children,
// not definitions nested in binary properties); nullopt when there is none. ECorruptData
// for malformed data, as ReadComponentDef.
std::optional<TStoredComponent> FindStoredComponent(const std::uint8_t* data, std::size_t size,
                                                    const std::string& className);
void ReadComponentDef(const std::uint8_t* data, std::size_t size, TComponent& root,
                      const std::vector<std::string>& rootClasses = {});

// Text forms of property values, for defc and for messages.
std::string ValueTypeName(TValueType t);
