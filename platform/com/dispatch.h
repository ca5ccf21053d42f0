#pragma once
// A small IDispatch: methods called by dispatch id with a list of simple
// arguments (nothing, a 32-bit integer, UTF-8 text or wide text).

#include "platform/com/unknown.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace quorvelle::com {

using Variant = std::variant<std::monostate, std::int32_t, std::string, WideString>;

inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_UNKNOWN = -1;

// Text of a variant holding UTF-8 or wide text, as UTF-8; nullopt for any other kind.
inline std::optional<std::string> VariantText(const Variant &value) {
  if (const auto *text = std::get_if<std::string>(&value)) return *text;
  if (const auto *wide = std::get_if<WideString>(&value)) return WideToUtf8(*wide);
  return std::nullopt;
}

class IDispatch : public IUnknown {
public:
  static constexpr IID iid = GuidLiteral("{00020400-0000-0000-C000-000000000046}");
  using Base = IUnknown;

  // The dispatch id of a member name (compared without regard to letter
  // case); an object without names answers DISP_E_UNKNOWNNAME.
  virtual HRESULT GetIDsOfNames(const WideString & /*name*/, DISPID &id) {
    id = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  // Calls member id with args in the order of the member's parameters (first
  // parameter first). result may be nullptr when the caller wants none.
  // DISP_E_MEMBERNOTFOUND for an unknown id, DISP_E_BADPARAMCOUNT or
  // DISP_E_TYPEMISMATCH for arguments that do not fit.
  virtual HRESULT Invoke(DISPID id, const std::vector<Variant> &args, Variant *result) = 0;
};

} // namespace quorvelle::com
