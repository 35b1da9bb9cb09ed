#include "platform/com/com.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <stdexcept>

#include "platform/codepage.h"

namespace quillmark::platform::com {

namespace {

thread_local int threadInitializations = 0;
thread_local std::size_t threadFailedAllocation = 0;

char16_t foldAscii(char16_t c) noexcept { return (c >= u'A' && c <= u'Z') ? c + (u'a' - u'A') : c; }

bool equalsFolded(std::u16string_view a, std::u16string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (foldAscii(a[i]) != foldAscii(b[i])) return false;
  return true;
}

std::u16string folded(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out) c = foldAscii(c);
  return out;
}

// A decimal number written in ASCII, blanks around it allowed; nothing for
// anything else (empty, other characters, not finite).
std::optional<double> parseNumber(const std::u16string& text) {
  std::string ascii;
  for (char16_t c : text) {
    if (c > 0x7F) return std::nullopt;
    ascii.push_back(static_cast<char>(c));
  }
  const auto first = ascii.find_first_not_of(" \t");
  if (first == std::string::npos) return std::nullopt;
  const auto last = ascii.find_last_not_of(" \t");
  const char* begin = ascii.data() + first;
  const char* end = ascii.data() + last + 1;
  if (*begin == '+') ++begin;
  double value = 0;
  auto [ptr, ec] = std::from_chars(begin, end, value, std::chars_format::general);
  if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

// Rounds half to even; nothing outside the 32-bit range.
std::optional<std::int32_t> doubleToInt32(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  double whole = std::floor(value);
  const double fraction = value - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  if (whole < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
      whole > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
    return std::nullopt;
  return static_cast<std::int32_t>(whole);
}

std::u16string asciiToUtf16(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::string doubleText(double value) {
  char buffer[64];
  auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (ec != std::errc()) return "0";
  return std::string(buffer, ptr);
}

}  // namespace

// ---- Per-thread initialisation ----

HResult CoInitialize(void*) noexcept { return threadInitializations++ == 0 ? kOk : kFalse; }

void CoUninitialize() noexcept {
  if (threadInitializations > 0) --threadInitializations;
}

int initializationCount() noexcept { return threadInitializations; }

// ---- Variants ----

std::int32_t Variant::asInt32() const noexcept {
  const auto* v = std::get_if<std::int32_t>(&value_);
  return v ? *v : 0;
}

bool Variant::asBool() const noexcept {
  const auto* v = std::get_if<bool>(&value_);
  return v ? *v : false;
}

double Variant::asDouble() const noexcept {
  const auto* v = std::get_if<double>(&value_);
  return v ? *v : 0.0;
}

const std::u16string& Variant::asString() const noexcept {
  static const std::u16string empty;
  const auto* v = std::get_if<std::u16string>(&value_);
  return v ? *v : empty;
}

Variant Variant::fromBytes(const std::vector<std::uint8_t>& value) {
  return fromByteString(std::string(value.begin(), value.end()));
}

Variant Variant::fromByteString(std::string bytes) {
  return Variant(ByteArray{std::make_shared<std::string>(std::move(bytes))});
}

std::string_view Variant::asByteString() const noexcept {
  const auto* v = std::get_if<ByteArray>(&value_);
  return v ? std::string_view(*v->bytes) : std::string_view();
}

std::span<const std::uint8_t> Variant::asBytes() const noexcept {
  const std::string_view bytes = asByteString();
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

std::string Variant::takeBytes() && {
  auto* v = std::get_if<ByteArray>(&value_);
  if (!v) {
    value_ = std::monostate();
    return {};
  }
  const std::shared_ptr<std::string> held = std::move(v->bytes);
  value_ = std::monostate();
  // Only this variant held the array: nobody else can see it change.
  if (held.use_count() == 1) return std::move(*held);
  return *held;
}

bool convertVariant(const Variant& value, VariantType target, Variant& out) {
  if (target == VariantType::Any || target == value.type()) {
    out = value;
    return true;
  }
  if (target == VariantType::Empty) {
    out = Variant();
    return true;
  }
  // The value as a number, when it is one (or may be read as one).
  std::optional<double> number;
  switch (value.type()) {
    case VariantType::Empty: number = 0.0; break;
    case VariantType::Int32: number = value.asInt32(); break;
    case VariantType::Bool: number = value.asBool() ? -1.0 : 0.0; break;
    case VariantType::Double: number = value.asDouble(); break;
    case VariantType::String:
      if (target == VariantType::Bytes) return false;
      number = parseNumber(value.asString());
      if (!number && target == VariantType::Bool) {
        if (equalsFolded(value.asString(), u"true")) number = -1.0;
        if (equalsFolded(value.asString(), u"false")) number = 0.0;
      }
      break;
    case VariantType::Bytes:
    case VariantType::Any: return false;
  }
  switch (target) {
    case VariantType::Int32: {
      if (!number) return false;
      const auto integer = doubleToInt32(*number);
      if (!integer) return false;
      out = Variant::fromInt32(*integer);
      return true;
    }
    case VariantType::Bool:
      if (!number) return false;
      out = Variant::fromBool(*number != 0.0);
      return true;
    case VariantType::Double:
      if (!number) return false;
      out = Variant::fromDouble(*number);
      return true;
    case VariantType::String:
      switch (value.type()) {
        case VariantType::Empty: out = Variant::fromString(u""); return true;
        case VariantType::Int32: out = Variant::fromString(asciiToUtf16(std::to_string(value.asInt32()))); return true;
        case VariantType::Bool: out = Variant::fromString(value.asBool() ? u"-1" : u"0"); return true;
        case VariantType::Double: out = Variant::fromString(asciiToUtf16(doubleText(value.asDouble()))); return true;
        default: return false;
      }
    default: return false;
  }
}

std::string describe(const Variant& value) {
  switch (value.type()) {
    case VariantType::Empty: return "EMPTY";
    case VariantType::Int32: return "I4(" + std::to_string(value.asInt32()) + ")";
    case VariantType::Bool: return value.asBool() ? "BOOL(-1)" : "BOOL(0)";
    case VariantType::Double: return "R8(" + doubleText(value.asDouble()) + ")";
    case VariantType::String: return "BSTR(\"" + fromUtf16(kCodePageUtf8, value.asString()) + "\")";
    case VariantType::Bytes: return "BYTES(" + std::to_string(value.asBytes().size()) + ")";
    case VariantType::Any: break;
  }
  return "EMPTY";
}

// ---- Objects ----

HResult invoke(const ObjectHandle& object, std::u16string_view name, InvokeKind kind,
               std::span<const Variant> arguments, Variant* result) noexcept {
  Variant scratch;
  Variant& out = result ? *result : scratch;
  out = Variant();
  threadFailedAllocation = 0;
  if (object.empty()) return kUnexpected;
  try {
    const MemberSignature* member = nullptr;
    for (const auto& candidate : object.get()->members()) {
      if (candidate.kind == kind && equalsFolded(candidate.name, name)) {
        member = &candidate;
        break;
      }
    }
    if (!member) return kUnknownName;
    if (arguments.size() != member->parameters.size()) return kBadParamCount;
    std::vector<Variant> converted(arguments.size());
    for (std::size_t i = 0; i < arguments.size(); ++i)
      if (!convertVariant(arguments[i], member->parameters[i], converted[i])) return kTypeMismatch;
    Variant value;
    const HResult status = object.get()->call(*member, converted, value);
    if (succeeded(status) && kind != InvokeKind::PropertyPut) out = std::move(value);
    return status;
  } catch (const std::bad_alloc&) {
    out = Variant();
    return kOutOfMemory;
  } catch (const std::length_error&) {
    out = Variant();
    return kOutOfMemory;
  } catch (...) {
    out = Variant();
    return kFail;
  }
}

// ---- Memory that could not be had ----

void noteFailedAllocation(std::size_t bytes) noexcept { threadFailedAllocation = bytes; }

std::size_t failedAllocation() noexcept { return threadFailedAllocation; }

// ---- Creation by ProgID ----

namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::u16string, Factory> factories;  // keyed by the folded ProgID
};

Registry& registry() {
  static Registry instance;
  return instance;
}

}  // namespace

Factory registerFactory(const std::u16string& progId, Factory factory) {
  auto& reg = registry();
  std::lock_guard lock(reg.mutex);
  const auto key = folded(progId);
  Factory previous;
  if (auto it = reg.factories.find(key); it != reg.factories.end()) {
    previous = std::move(it->second);
    reg.factories.erase(it);
  }
  if (factory) reg.factories.emplace(key, std::move(factory));
  return previous;
}

bool registerFactoryIfAbsent(const std::u16string& progId, Factory factory) {
  if (!factory) return false;
  auto& reg = registry();
  std::lock_guard lock(reg.mutex);
  return reg.factories.emplace(folded(progId), std::move(factory)).second;
}

ObjectHandle createObject(std::u16string_view progId) noexcept {
  if (initializationCount() <= 0) return {};
  try {
    Factory factory;
    {
      auto& reg = registry();
      std::lock_guard lock(reg.mutex);
      auto it = reg.factories.find(folded(progId));
      if (it == reg.factories.end()) return {};
      factory = it->second;
    }
    return ObjectHandle(factory());
  } catch (...) {
    return {};
  }
}

}  // namespace quillmark::platform::com
