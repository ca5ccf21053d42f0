#pragma once
// TRSSQuorvelle: the Quorvelle toolbar band. Its form is TRSSQuorvelleForm.

#include "band/band_object.h"

namespace quorvelle {

class TRSSQuorvelle final : public TzToolBandObject {
public:
  using TzToolBandObject::TzToolBandObject;

protected:
  std::unique_ptr<TJvBandForm> CreateBandForm(com::HWND parentWindow) override;

private:
  ~TRSSQuorvelle() override = default;
};

} // namespace quorvelle
