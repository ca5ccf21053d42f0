#include "platform/xml/xslt.h"

#include "platform/errors.h"

#include <cstdarg>
#include <cstdio>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/variables.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>
#include <memory>

namespace quorvelle::platform {
namespace {

struct StylesheetDeleter {
  void operator()(xsltStylesheetPtr style) const noexcept { xsltFreeStylesheet(style); }
};
using StylesheetPtr = std::unique_ptr<xsltStylesheet, StylesheetDeleter>;

struct TransformContextDeleter {
  void operator()(xsltTransformContextPtr ctxt) const noexcept { xsltFreeTransformContext(ctxt); }
};
using TransformContextPtr = std::unique_ptr<xsltTransformContext, TransformContextDeleter>;

struct SecurityPrefsDeleter {
  void operator()(xsltSecurityPrefsPtr prefs) const noexcept { xsltFreeSecurityPrefs(prefs); }
};
using SecurityPrefsPtr = std::unique_ptr<xsltSecurityPrefs, SecurityPrefsDeleter>;

struct XmlCharDeleter {
  void operator()(xmlChar *p) const noexcept { xmlFree(p); }
};

// Collects the processor's messages for one call, so a failure can say why.
struct ErrorSink {
  std::string text;
};

void CollectError(void *ctx, const char *format, ...) {
  auto *sink = static_cast<ErrorSink *>(ctx);
  if (sink == nullptr || sink->text.size() > 2000) return;
  char buffer[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  sink->text += buffer;
}

std::string Tidy(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
    text.pop_back();
  for (char &c : text) {
    if (c == '\n') c = ' ';
  }
  return text;
}

// Routes libxslt's global (compile-time) error channel into sink for the
// lifetime of the object.
class CompileErrorScope {
public:
  explicit CompileErrorScope(ErrorSink &sink) { xsltSetGenericErrorFunc(&sink, &CollectError); }
  ~CompileErrorScope() { xsltSetGenericErrorFunc(nullptr, &Silent); }
  CompileErrorScope(const CompileErrorScope &) = delete;
  CompileErrorScope &operator=(const CompileErrorScope &) = delete;

private:
  static void Silent(void * /*ctx*/, const char * /*format*/, ...) {}
};

StylesheetPtr Compile(XmlDocument &stylesheet) {
  if (!stylesheet.HasRoot()) {
    throw EOleException("The stylesheet is missing or is not a well-formed document");
  }
  // xsltParseStylesheetDoc takes the document over on success, so it gets a
  // copy and the caller's document stays intact.
  XmlDocPtr copy(xmlCopyDoc(stylesheet.Raw(), 1));
  if (!copy) throw EOleException("Out of memory while copying the stylesheet");
  ErrorSink sink;
  StylesheetPtr style;
  {
    CompileErrorScope scope(sink);
    style.reset(xsltParseStylesheetDoc(copy.get()));
  }
  if (!style) {
    throw EOleException("The stylesheet does not compile: " + Tidy(sink.text));
  }
  static_cast<void>(copy.release());
  return style;
}

SecurityPrefsPtr LockedDownPrefs() {
  SecurityPrefsPtr prefs(xsltNewSecurityPrefs());
  if (!prefs) throw EOleException("Out of memory");
  const xsltSecurityOption forbidden[] = {XSLT_SECPREF_WRITE_FILE, XSLT_SECPREF_CREATE_DIRECTORY,
                                          XSLT_SECPREF_READ_NETWORK, XSLT_SECPREF_WRITE_NETWORK,
                                          XSLT_SECPREF_READ_FILE};
  for (xsltSecurityOption option : forbidden) {
    if (xsltSetSecurityPrefs(prefs.get(), option, xsltSecurityForbid) != 0) {
      throw EOleException("Cannot set the stylesheet security policy");
    }
  }
  return prefs;
}

// Runs the transformation and hands back the result tree with the compiled
// stylesheet (needed to serialise it by its xsl:output).
struct Transformed {
  StylesheetPtr style;
  XmlDocPtr result;
};

XmlDocPtr ApplyCompiled(xsltStylesheetPtr style, XmlDocument &source, const XsltParameters &parameters) {
  SecurityPrefsPtr prefs = LockedDownPrefs();
  TransformContextPtr ctxt(xsltNewTransformContext(style, source.Raw()));
  if (!ctxt) throw EOleException("Cannot create the transformation context");
  if (xsltSetCtxtSecurityPrefs(prefs.get(), ctxt.get()) != 0) {
    throw EOleException("Cannot apply the stylesheet security policy");
  }
  ErrorSink sink;
  xsltSetTransformErrorFunc(ctxt.get(), &sink, &CollectError);

  std::vector<const char *> params;
  params.reserve(parameters.size() * 2 + 1);
  for (const auto &[name, value] : parameters) {
    params.push_back(name.c_str());
    params.push_back(value.c_str());
  }
  params.push_back(nullptr);
  if (xsltQuoteUserParams(ctxt.get(), params.data()) != 0) {
    throw EOleException("Invalid stylesheet parameter: " + Tidy(sink.text));
  }

  XmlDocPtr result(xsltApplyStylesheetUser(style, source.Raw(), nullptr, nullptr, nullptr, ctxt.get()));
  if (!result || ctxt->state == XSLT_STATE_ERROR || ctxt->state == XSLT_STATE_STOPPED) {
    throw EOleException("The transformation failed: " + Tidy(sink.text));
  }
  return result;
}

Transformed Run(XmlDocument &source, XmlDocument &stylesheet, const XsltParameters &parameters) {
  Transformed out;
  out.style = Compile(stylesheet);
  out.result = ApplyCompiled(out.style.get(), source, parameters);
  return out;
}

} // namespace

std::string TransformNode(XmlDocument &source, XmlDocument &stylesheet, const XsltParameters &parameters) {
  Transformed done = Run(source, stylesheet, parameters);
  xmlChar *text = nullptr;
  int length = 0;
  if (xsltSaveResultToString(&text, &length, done.result.get(), done.style.get()) != 0) {
    throw EOleException("Cannot serialise the transformation result");
  }
  std::unique_ptr<xmlChar, XmlCharDeleter> owned(text);
  if (text == nullptr) return {};
  return std::string(reinterpret_cast<const char *>(text), static_cast<std::size_t>(length));
}

void TransformNodeToObject(XmlDocument &source, XmlDocument &stylesheet, XmlDocument &result,
                           const XsltParameters &parameters) {
  Transformed done = Run(source, stylesheet, parameters);
  result.Adopt(std::move(done.result));
}

struct XsltStylesheet::Compiled {
  StylesheetPtr style;
};

XsltStylesheet::XsltStylesheet(XmlDocument &stylesheet) : compiled_(std::make_unique<Compiled>()) {
  compiled_->style = Compile(stylesheet);
}

XsltStylesheet::~XsltStylesheet() = default;

void XsltStylesheet::Apply(XmlDocument &source, XmlDocument &result, const XsltParameters &parameters) const {
  result.Adopt(ApplyCompiled(compiled_->style.get(), source, parameters));
}

} // namespace quorvelle::platform
