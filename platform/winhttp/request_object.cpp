#include "platform/winhttp/request_object.h"

#include <mutex>

namespace quillmark::platform::winhttp {

namespace {

using com::InvokeKind;
using com::MemberSignature;
using com::VariantType;

const std::vector<MemberSignature>& memberTable() {
  static const std::vector<MemberSignature> table = {
      {u"SetTimeouts", InvokeKind::Method,
       {VariantType::Int32, VariantType::Int32, VariantType::Int32, VariantType::Int32}},
      {u"SetProxy", InvokeKind::Method, {VariantType::Int32, VariantType::String}},
      {u"Open", InvokeKind::Method, {VariantType::String, VariantType::String, VariantType::Bool}},
      {u"Option", InvokeKind::PropertyPut, {VariantType::Int32, VariantType::Any}},
      {u"Option", InvokeKind::PropertyGet, {VariantType::Int32}},
      {u"SetCredentials", InvokeKind::Method, {VariantType::String, VariantType::String, VariantType::Int32}},
      {u"SetRequestHeader", InvokeKind::Method, {VariantType::String, VariantType::String}},
      {u"Send", InvokeKind::Method, {VariantType::Any}},
      {u"ResponseBody", InvokeKind::PropertyGet, {}},
      {u"GetAllResponseHeaders", InvokeKind::Method, {}},
      {u"Status", InvokeKind::PropertyGet, {}},
      {u"StatusText", InvokeKind::PropertyGet, {}},
  };
  return table;
}

class RequestObject final : public com::Dispatch {
 public:
  std::span<const MemberSignature> members() const noexcept override { return memberTable(); }
  com::HResult call(const MemberSignature&, std::span<const com::Variant>, com::Variant&) noexcept override {
    return com::kFail;
  }
};

}  // namespace

std::span<const com::MemberSignature> requestMembers() { return memberTable(); }

std::shared_ptr<com::Dispatch> newRequestObject() { return std::make_shared<RequestObject>(); }

void registerRequestClass() {
  com::registerFactoryIfAbsent(kRequestProgId, [] { return newRequestObject(); });
}

}  // namespace quillmark::platform::winhttp
