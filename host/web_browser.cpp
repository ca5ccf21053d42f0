#include "host/web_browser.h"

#include "support/debug_log.h"

#include <QEventLoop>
#include <QTimer>
#include <QUrl>
#include <QWebEngineScript>

namespace quorvelle::host {
namespace {

using com::HRESULT;

com::WideString ToWide(const QString &text) {
  return {reinterpret_cast<const char16_t *>(text.utf16()), static_cast<std::size_t>(text.size())};
}

class HtmlElement : public com::ComObject<com::IHTMLElement> {
public:
  explicit HtmlElement(QWebEnginePage *page) : page_(page) {}
  HRESULT Invoke(com::DISPID, const std::vector<com::Variant> &, com::Variant *) override {
    return com::DISP_E_MEMBERNOTFOUND;
  }
  HRESULT get_outerHTML(com::WideString *html) override {
    if (html == nullptr) return com::E_POINTER;
    html->clear();
    if (!page_) return com::E_FAIL;
    const auto text = PageOuterHtml(page_.data(), WebBrowser::kScriptTimeout);
    if (!text) return com::E_FAIL;
    *html = ToWide(*text);
    return com::S_OK;
  }

private:
  QPointer<QWebEnginePage> page_;
};

class HtmlDocument : public com::ComObject<com::IHTMLDocument3, com::IHTMLDocument2> {
public:
  explicit HtmlDocument(QWebEnginePage *page) : page_(page) {}
  HRESULT Invoke(com::DISPID, const std::vector<com::Variant> &, com::Variant *) override {
    return com::DISP_E_MEMBERNOTFOUND;
  }
  HRESULT get_URL(com::WideString *url) override {
    if (url == nullptr) return com::E_POINTER;
    url->clear();
    if (!page_) return com::E_FAIL;
    *url = ToWide(page_->url().toString(QUrl::FullyEncoded));
    return com::S_OK;
  }
  HRESULT get_documentElement(com::IHTMLElement **element) override {
    if (element == nullptr) return com::E_POINTER;
    *element = nullptr;
    if (!page_) return com::E_FAIL;
    *element = com::MakeComObject<HtmlElement>(page_.data()).Detach();
    return com::S_OK;
  }

private:
  QPointer<QWebEnginePage> page_;
};

} // namespace

std::optional<QString> PageOuterHtml(QWebEnginePage *page, std::chrono::milliseconds timeout) {
  if (page == nullptr) return std::nullopt;
  // The answer arrives through the event loop; the page may go away meanwhile.
  struct Answer {
    bool arrived = false;
    QString html;
  };
  auto answer = std::make_shared<Answer>();
  QEventLoop loop;
  QPointer<QEventLoop> waiting(&loop);
  // In a script world of its own: the page's scripts cannot replace what
  // the band reads (a getter of their own for outerHTML, say) nor see it.
  page->runJavaScript(QStringLiteral("document.documentElement ? document.documentElement.outerHTML : ''"),
                      QWebEngineScript::ApplicationWorld, [answer, waiting](const QVariant &value) {
                        answer->arrived = true;
                        answer->html = value.toString();
                        if (waiting) waiting->quit();
                      });
  QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
  QObject::connect(page, &QObject::destroyed, &loop, &QEventLoop::quit);
  if (!answer->arrived) loop.exec(QEventLoop::ExcludeUserInputEvents);
  if (!answer->arrived) return std::nullopt;
  return answer->html;
}

HRESULT WebBrowser::Invoke(com::DISPID, const std::vector<com::Variant> &, com::Variant *) {
  return com::DISP_E_MEMBERNOTFOUND;
}

HRESULT WebBrowser::Navigate2(const com::Variant &url, const com::Variant &, const com::Variant &targetFrameName,
                              const com::Variant &, const com::Variant &) {
  HRESULT hr = com::E_FAIL;
  Guard("TWebBrowser.Navigate2", [&] {
    const auto text = com::VariantText(url);
    if (!text) {
      hr = com::E_INVALIDARG;
      return;
    }
    // Only the window itself is a target; a named frame or window is not offered.
    if (const auto frame = com::VariantText(targetFrameName); frame && !frame->empty()) {
      hr = com::E_INVALIDARG;
      return;
    }
    if (!page_) return;
    page_->load(QUrl(QString::fromStdString(*text)));
    hr = com::S_OK;
  });
  return hr;
}

HRESULT WebBrowser::get_Document(com::IDispatch **document) {
  if (document == nullptr) return com::E_POINTER;
  *document = nullptr;
  if (!page_) return com::E_FAIL;
  auto created = com::MakeComObject<HtmlDocument>(page_.data());
  // The document's IDispatch is the one of its IHTMLDocument3.
  *document = static_cast<com::IHTMLDocument3 *>(created.Detach());
  return com::S_OK;
}

} // namespace quorvelle::host
