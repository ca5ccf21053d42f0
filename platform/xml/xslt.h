#pragma once
// XSLT over libxslt for the list conversions: a source document transformed
// by a stylesheet document, into text or into another document.
//
// A stylesheet is a data file of the installation, but it is applied to lists
// that come from outside, so every transformation runs with a locked-down
// security policy: no writing of files, no creating of folders, no network
// access and no reading of other files through document().

#include "platform/xml/xml_document.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quorvelle::platform {

// Top-level xsl:param values, each passed as a literal string (never
// evaluated as an XPath expression).
using XsltParameters = std::vector<std::pair<std::string, std::string>>;

// The source transformed by the stylesheet and serialised as the stylesheet's
// xsl:output asks (declaration and encoding included). Neither document is
// changed. Throws EOleException when the stylesheet does not compile or the
// transformation fails.
std::string TransformNode(XmlDocument &source, XmlDocument &stylesheet, const XsltParameters &parameters = {});

// The same transformation, its result tree replacing the content of result.
// Throws EOleException as above; result then keeps its content.
void TransformNodeToObject(XmlDocument &source, XmlDocument &stylesheet, XmlDocument &result,
                           const XsltParameters &parameters = {});

// A stylesheet compiled once and applied to many sources, with the same
// locked-down policy. Applying is safe from several threads at once.
class XsltStylesheet {
public:
  // Throws EOleException when the stylesheet does not compile.
  explicit XsltStylesheet(XmlDocument &stylesheet);
  ~XsltStylesheet();
  XsltStylesheet(const XsltStylesheet &) = delete;
  XsltStylesheet &operator=(const XsltStylesheet &) = delete;

  // As TransformNodeToObject.
  void Apply(XmlDocument &source, XmlDocument &result, const XsltParameters &parameters = {}) const;

private:
  struct Compiled;
  std::unique_ptr<Compiled> compiled_;
};

} // namespace quorvelle::platform
