// A small stand-in for COM automation: per-thread initialisation, variants,
// counted object handles, creation by ProgID and members invoked by name.
//
// The web request routine reaches the HTTP request object only through this
// interface, the way it would reach an automation object: it creates the
// object from its ProgID and calls members by name with variant arguments.
// Tests put their own factory under a ProgID to record or refuse calls.
// No function here throws; failures come back as HResult codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quillmark::platform::com {

using HResult = std::int32_t;
inline constexpr HResult kOk = 0;
inline constexpr HResult kFalse = 1;  // success, but nothing was done (already initialised)
inline constexpr HResult kFail = static_cast<HResult>(0x80004005);
inline constexpr HResult kUnexpected = static_cast<HResult>(0x8000FFFF);
inline constexpr HResult kInvalidArgument = static_cast<HResult>(0x80070057);
inline constexpr HResult kNotInitialized = static_cast<HResult>(0x800401F0);
inline constexpr HResult kClassNotRegistered = static_cast<HResult>(0x80040154);
inline constexpr HResult kUnknownName = static_cast<HResult>(0x80020006);
inline constexpr HResult kTypeMismatch = static_cast<HResult>(0x80020005);
inline constexpr HResult kBadParamCount = static_cast<HResult>(0x8002000E);
inline constexpr HResult kMemberNotFound = static_cast<HResult>(0x80020003);
inline constexpr HResult kOutOfMemory = static_cast<HResult>(0x8007000E);

inline bool succeeded(HResult status) noexcept { return status >= 0; }

// ---- Per-thread initialisation ----

// Adds one to this thread's count. kOk when the count was 0, kFalse after.
// `reserved` is ignored.
HResult CoInitialize(void* reserved) noexcept;
// Takes one from this thread's count; does nothing when it is 0.
void CoUninitialize() noexcept;
// This thread's count; objects can be created only while it is above 0.
int initializationCount() noexcept;

// ---- Variants ----

// The types a variant holds. Any is a declared parameter type only: such an
// argument is passed on unchanged, whatever it holds.
enum class VariantType { Empty, Int32, Bool, Double, String, Bytes, Any };

// Empty, 32-bit integer, boolean (-1 true, 0 false on conversion to an
// integer), double, UTF-16 string, or a one-dimensional array of bytes.
//
// A byte array never changes once made, so copies of a variant share one
// array instead of copying its bytes: a response body handed from the
// request object to its caller is never duplicated on the way.
class Variant {
 public:
  Variant() = default;
  static Variant fromInt32(std::int32_t value) { return Variant(value); }
  static Variant fromBool(bool value) { return Variant(value); }
  static Variant fromDouble(double value) { return Variant(value); }
  static Variant fromString(std::u16string value) { return Variant(std::move(value)); }
  // A byte array holding a copy of `value`.
  static Variant fromBytes(const std::vector<std::uint8_t>& value);
  // A byte array that takes over the bytes of `bytes` without copying them.
  static Variant fromByteString(std::string bytes);

  VariantType type() const noexcept { return static_cast<VariantType>(value_.index()); }
  bool isEmpty() const noexcept { return type() == VariantType::Empty; }
  // The held value; meaningful only when type() says so (else a default).
  std::int32_t asInt32() const noexcept;
  bool asBool() const noexcept;
  double asDouble() const noexcept;
  const std::u16string& asString() const noexcept;
  // The bytes of a byte array (as bytes, or as chars), valid while this
  // variant or a copy of it holds them; empty for every other type.
  std::span<const std::uint8_t> asBytes() const noexcept;
  std::string_view asByteString() const noexcept;
  // Empties the variant and gives back the bytes of its byte array: moved
  // out when no copy of the variant shares them, copied otherwise (may
  // throw std::bad_alloc). Empty for every other type.
  std::string takeBytes() &&;

  // Same type and same value; byte arrays compare by their bytes.
  friend bool operator==(const Variant&, const Variant&) = default;

 private:
  struct ByteArray {
    std::shared_ptr<std::string> bytes;  // never null, never changed while shared
    friend bool operator==(const ByteArray& a, const ByteArray& b) noexcept { return *a.bytes == *b.bytes; }
  };
  using Value = std::variant<std::monostate, std::int32_t, bool, double, std::u16string, ByteArray>;
  template <class T>
  explicit Variant(T value) : value_(std::move(value)) {}
  Value value_;
};

// Converts `value` to `target` as automation does: numbers and booleans into
// each other (true is -1; a double to an integer rounds half to even and
// fails outside 32 bits), numbers to their decimal string, a decimal string
// to a number, anything to Empty. Strings and byte arrays convert to nothing
// else; Any accepts everything unchanged. Returns false and leaves `out` alone when the conversion fails.
// In detail: Empty becomes 0, false or the empty string; a boolean becomes
// the string "-1" or "0"; a string converts to a number only when it is a
// finite decimal number in ASCII (blanks around it allowed), and to a boolean
// also when it reads "true" or "false" in any case; a number is true when
// not 0; only a byte array converts to a byte array.
bool convertVariant(const Variant& value, VariantType target, Variant& out);

// Readable form for logs and test messages: I4(5), BOOL(-1), R8(1.5),
// BSTR("..." as UTF-8), BYTES(n), EMPTY.
std::string describe(const Variant& value);

// ---- Objects ----

enum class InvokeKind { Method, PropertyGet, PropertyPut };

// One member as an object declares it: a name (matched without regard to
// case), its kind, and the declared type of each argument. An indexed
// property takes its index as the first argument; a put takes the new value
// as the last one.
struct MemberSignature {
  std::u16string name;
  InvokeKind kind;
  std::vector<VariantType> parameters;
};

// An automation object. invoke() checks the member and converts arguments
// before calling call(), so call() sees exactly the declared types.
class Dispatch {
 public:
  virtual ~Dispatch() = default;
  virtual std::span<const MemberSignature> members() const noexcept = 0;
  // `member` is one of members(); `arguments` match its parameters in number
  // and type. Writes the result of a Method or PropertyGet into `result`.
  virtual HResult call(const MemberSignature& member, std::span<const Variant> arguments,
                       Variant& result) noexcept = 0;
};

// One counted reference to an object, or none. Copying adds a reference,
// destroying or reset() drops it; the object goes when the last one does.
class ObjectHandle {
 public:
  ObjectHandle() = default;
  explicit ObjectHandle(std::shared_ptr<Dispatch> object) noexcept : object_(std::move(object)) {}
  bool empty() const noexcept { return object_ == nullptr; }
  Dispatch* get() const noexcept { return object_.get(); }
  long referenceCount() const noexcept { return object_.use_count(); }
  void reset() noexcept { object_.reset(); }

 private:
  std::shared_ptr<Dispatch> object_;
};

// Calls `name` of kind `kind`: kUnexpected for an empty handle, kUnknownName
// when no member of that name and kind exists, kBadParamCount when the
// number of arguments differs, kTypeMismatch when an argument does not
// convert, kOutOfMemory when memory ran out on the way (see
// failedAllocation). `result` (may be null) receives a Method's or
// PropertyGet's value, and is set Empty on failure. Never throws.
HResult invoke(const ObjectHandle& object, std::u16string_view name, InvokeKind kind,
               std::span<const Variant> arguments, Variant* result = nullptr) noexcept;

// ---- Memory that could not be had ----

// A member that cannot get the memory it needs fails with kOutOfMemory and
// first notes the bytes it asked for, so that its caller can name them when
// it ends the program over it. Per thread. invoke() sets the note to 0 before
// each call, and leaves 0 when the size is not known.
void noteFailedAllocation(std::size_t bytes) noexcept;
// This thread's note: the bytes of the last failed allocation, 0 when none
// or unknown.
std::size_t failedAllocation() noexcept;

// ---- Creation by ProgID ----

using Factory = std::function<std::shared_ptr<Dispatch>()>;

// Puts `factory` under `progId` (an empty factory removes the entry) and
// returns the one it replaced. ProgIDs compare without regard to ASCII case.
// Safe from any thread.
Factory registerFactory(const std::u16string& progId, Factory factory);
// Registers `factory` only when `progId` has none yet; true when it did.
bool registerFactoryIfAbsent(const std::u16string& progId, Factory factory);

// A new object of `progId`. Empty when this thread is not initialised, the
// ProgID has no factory, or the factory gives no object (or throws).
ObjectHandle createObject(std::u16string_view progId) noexcept;

// Puts a factory under a ProgID for the life of a scope, then restores the
// one it replaced. For tests.
class ScopedFactory {
 public:
  ScopedFactory(std::u16string progId, Factory factory)
      : progId_(std::move(progId)), previous_(registerFactory(progId_, std::move(factory))) {}
  ~ScopedFactory() { registerFactory(progId_, std::move(previous_)); }
  ScopedFactory(const ScopedFactory&) = delete;
  ScopedFactory& operator=(const ScopedFactory&) = delete;

 private:
  std::u16string progId_;
  Factory previous_;
};

}  // namespace quillmark::platform::com
