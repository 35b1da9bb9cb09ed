#include "support/recording_request.h"

#include <algorithm>

namespace quillmark::test_support {

namespace {

char16_t fold(char16_t c) { return (c >= u'A' && c <= u'Z') ? c + (u'a' - u'A') : c; }

bool sameName(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

std::string ascii(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

}  // namespace

std::string RecordedCall::text() const {
  std::string out;
  if (kind == com::InvokeKind::PropertyGet) out = "get ";
  if (kind == com::InvokeKind::PropertyPut) out = "put ";
  out += ascii(member) + "(";
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i) out += ", ";
    out += com::describe(arguments[i]);
  }
  return out + ")";
}

std::span<const com::MemberSignature> RecordingRequest::members() const noexcept {
  return platform::winhttp::requestMembers();
}

com::HResult RecordingRequest::call(const com::MemberSignature& member,
                                    std::span<const com::Variant> arguments,
                                    com::Variant& result) noexcept {
  try {
    std::lock_guard lock(mutex_);
    calls_.push_back({member.name, member.kind, {arguments.begin(), arguments.end()}});
    for (const auto& name : failing_)
      if (sameName(name, member.name)) return com::kFail;
    if (member.kind != com::InvokeKind::PropertyGet && !sameName(member.name, u"GetAllResponseHeaders"))
      return com::kOk;
    if (sameName(member.name, u"ResponseBody")) result = com::Variant::fromBytes(reply_.body);
    if (sameName(member.name, u"GetAllResponseHeaders")) result = com::Variant::fromString(reply_.headers);
    if (sameName(member.name, u"Status")) result = com::Variant::fromInt32(reply_.status);
    if (sameName(member.name, u"StatusText")) result = com::Variant::fromString(reply_.statusText);
    if (sameName(member.name, u"Option")) {
      if (arguments.empty() || arguments[0].asInt32() != platform::winhttp::kOptionUrl)
        return com::kInvalidArgument;
      result = com::Variant::fromString(reply_.finalUrl);
    }
    return com::kOk;
  } catch (...) {
    return com::kFail;
  }
}

void RecordingRequest::setReply(Reply reply) {
  std::lock_guard lock(mutex_);
  reply_ = std::move(reply);
}

void RecordingRequest::failMember(std::u16string member) {
  std::lock_guard lock(mutex_);
  failing_.push_back(std::move(member));
}

std::vector<RecordedCall> RecordingRequest::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<std::string> RecordingRequest::callTexts() const {
  std::vector<std::string> out;
  for (const auto& call : calls()) out.push_back(call.text());
  return out;
}

std::vector<RecordedCall> RecordingRequest::callsOf(std::u16string_view member) const {
  std::vector<RecordedCall> out;
  for (auto& call : calls())
    if (sameName(call.member, member)) out.push_back(std::move(call));
  return out;
}

void RecordingRequest::clear() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

ScopedRecordingRequest::ScopedRecordingRequest()
    : object_(std::make_shared<RecordingRequest>()),
      creations_(std::make_shared<std::atomic<int>>(0)),
      factory_(platform::winhttp::kRequestProgId,
               [object = object_, creations = creations_]() -> std::shared_ptr<com::Dispatch> {
                 ++*creations;
                 return object;
               }) {}

int ScopedRecordingRequest::creations() const noexcept { return creations_->load(); }

com::Factory failingFactory() {
  return []() -> std::shared_ptr<com::Dispatch> { return nullptr; };
}

ScopedFailingRequest::ScopedFailingRequest()
    : factory_(platform::winhttp::kRequestProgId, failingFactory()) {}

}  // namespace quillmark::test_support
