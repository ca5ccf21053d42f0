#pragma once
// XSLT over libxslt for the list conversions: a source document transformed
// by a stylesheet document, into text or into another document.
//
// A stylesheet is a data file of the installation, but it is applied to lists
// that come from outside, so every transformation runs with a locked-down
// security policy: no writing of files, no creating of folders, no network
// access and no reading of other files through document().

#include "platform/xml/xml_document.h"

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

} // namespace quorvelle::platform
