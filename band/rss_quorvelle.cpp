#include "band/rss_quorvelle.h"

#include "band/rss_quorvelle_form.h"
#include "support/debug_log.h"

namespace quorvelle {

std::unique_ptr<TJvBandForm> TRSSQuorvelle::CreateBandForm(com::HWND parentWindow) {
  std::unique_ptr<TJvBandForm> form;
  Guard("TRSSQuorvelle.CreateBandForm",
        [&] { form = TJvBandForm::CreateBandForm<TRSSQuorvelleForm>(static_cast<QWidget *>(parentWindow), this); });
  return form;
}

} // namespace quorvelle
