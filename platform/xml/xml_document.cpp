#include "platform/xml/xml_document.h"

#include "platform/errors.h"
#include "platform/files/file_io.h"
#include "platform/xml/xml_escape.h"

#include <algorithm>
#include <libxml/HTMLparser.h>
#include <libxml/HTMLtree.h>
#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlsave.h>
#include <unordered_map>

namespace quorvelle::platform {
namespace {

const xmlChar *X(const std::string &s) { return reinterpret_cast<const xmlChar *>(s.c_str()); }

std::string S(const xmlChar *s) {
  return s == nullptr ? std::string() : std::string(reinterpret_cast<const char *>(s));
}

struct XmlCharDeleter {
  void operator()(xmlChar *p) const noexcept { xmlFree(p); }
};
using XmlString = std::unique_ptr<xmlChar, XmlCharDeleter>;

struct ParserCtxtDeleter {
  void operator()(xmlParserCtxtPtr p) const noexcept { xmlFreeParserCtxt(p); }
};

struct HtmlOutputDeleter {
  void operator()(xmlOutputBufferPtr out) const noexcept { xmlOutputBufferClose(out); }
};

struct XmlBufferDeleter {
  void operator()(xmlBufferPtr p) const noexcept { xmlBufferFree(p); }
};

bool IsBlank(const xmlChar *text) {
  if (text == nullptr) return true;
  for (const xmlChar *p = text; *p != 0; ++p) {
    if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') return false;
  }
  return true;
}

// Drops text nodes that hold only white space, as a DOM that does not
// preserve white space does.
void DropBlankText(xmlNodePtr node) {
  xmlNodePtr child = node->children;
  while (child != nullptr) {
    xmlNodePtr next = child->next;
    if (child->type == XML_TEXT_NODE && IsBlank(child->content)) {
      xmlUnlinkNode(child);
      xmlFreeNode(child);
    } else if (child->type == XML_ELEMENT_NODE) {
      DropBlankText(child);
    }
    child = next;
  }
}

void SilentErrors(void * /*ctx*/, const char * /*msg*/, ...) {}

// What entity expansion may add to a document read from outside: a few times
// its own size and never more than a few MiB.
constexpr std::size_t kExpansionCap = std::size_t{4} << 20;
constexpr std::size_t kExpansionFactor = 4;

// Refuses every outside resource while a document's entities are replaced.
xmlParserInputPtr NoExternalEntities(const char * /*url*/, const char * /*id*/, xmlParserCtxtPtr /*ctxt*/) {
  return nullptr;
}

class ScopedEntityLoader {
public:
  ScopedEntityLoader() : previous_(xmlGetExternalEntityLoader()) { xmlSetExternalEntityLoader(&NoExternalEntities); }
  ~ScopedEntityLoader() { xmlSetExternalEntityLoader(previous_); }
  ScopedEntityLoader(const ScopedEntityLoader &) = delete;
  ScopedEntityLoader &operator=(const ScopedEntityLoader &) = delete;

private:
  xmlExternalEntityLoader previous_;
};

// Measures what replacing a document's entity references would add, without
// building it: each entity's expanded size is worked out once from its
// replacement text. Stops as soon as the budget is spent or at a loop;
// entities from outside count nothing, as they are never loaded.
class ExpansionMeter {
public:
  ExpansionMeter(xmlDocPtr doc, std::size_t budget) : doc_(doc), budget_(budget) {}

  // False when the document may not be expanded.
  bool MeasureTree(xmlNodePtr node) {
    for (; node != nullptr; node = node->next) {
      if (node->type == XML_ENTITY_REF_NODE) {
        if (!Add(node->name)) return false;
      } else if (node->type == XML_ELEMENT_NODE) {
        for (xmlAttrPtr attr = node->properties; attr != nullptr; attr = attr->next) {
          if (!MeasureTree(attr->children)) return false;
        }
        if (!MeasureTree(node->children)) return false;
      }
    }
    return true;
  }

  [[nodiscard]] std::string Reason() const { return reason_; }

private:
  bool Add(const xmlChar *name) {
    const std::optional<std::size_t> size = EntitySize(name);
    if (!size) return false;
    total_ += *size;
    if (total_ > budget_) return Refuse("entity expansion exceeds the limit");
    return true;
  }

  std::optional<std::size_t> EntitySize(const xmlChar *name) {
    xmlEntityPtr entity = xmlGetDocEntity(doc_, name);
    if (entity == nullptr) return 0; // undeclared: the reference is dropped
    if (entity->etype == XML_INTERNAL_PREDEFINED_ENTITY) return 1;
    if (entity->etype != XML_INTERNAL_GENERAL_ENTITY) return 0; // never loaded: the reference is dropped
    if (auto known = sizes_.find(entity); known != sizes_.end()) {
      if (!known->second) Refuse("entity refers to itself");
      return known->second;
    }
    sizes_[entity] = std::nullopt; // in progress
    const std::string content = S(entity->content);
    std::size_t size = 0;
    for (std::size_t i = 0; i < content.size();) {
      const std::size_t end = content[i] == '&' ? content.find(';', i) : std::string::npos;
      if (end == std::string::npos || content[i + 1] == '#') {
        ++size;
        ++i;
        continue;
      }
      const std::string inner = content.substr(i + 1, end - i - 1);
      const std::optional<std::size_t> part = EntitySize(X(inner));
      if (!part) return std::nullopt;
      size += *part;
      if (size > budget_) {
        Refuse("entity expansion exceeds the limit");
        return std::nullopt;
      }
      i = end + 1;
    }
    sizes_[entity] = size;
    return size;
  }

  bool Refuse(const char *reason) {
    if (reason_.empty()) reason_ = reason;
    return false;
  }

  xmlDocPtr doc_;
  std::size_t budget_;
  std::size_t total_ = 0;
  std::unordered_map<xmlEntityPtr, std::optional<std::size_t>> sizes_;
  std::string reason_;
};

// Removes references that are left (to undeclared entities), then the
// document type with its declarations: nothing can refer to them any more.
void DropEntityReferences(xmlNodePtr node) {
  while (node != nullptr) {
    xmlNodePtr next = node->next;
    if (node->type == XML_ENTITY_REF_NODE) {
      xmlUnlinkNode(node);
      xmlFreeNode(node);
    } else if (node->type == XML_ELEMENT_NODE) {
      for (xmlAttrPtr attr = node->properties; attr != nullptr; attr = attr->next) {
        DropEntityReferences(attr->children);
      }
      DropEntityReferences(node->children);
    }
    node = next;
  }
}

void DropDocumentType(xmlDocPtr doc) {
  DropEntityReferences(doc->children);
  for (xmlDtdPtr dtd : {doc->intSubset, doc->extSubset}) {
    if (dtd == nullptr) continue;
    xmlUnlinkNode(reinterpret_cast<xmlNodePtr>(dtd));
    if (doc->intSubset == dtd) doc->intSubset = nullptr;
    if (doc->extSubset == dtd) doc->extSubset = nullptr;
    xmlFreeDtd(dtd);
  }
}

} // namespace

int SafeParserOptions() { return XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING; }

void XmlDocDeleter::operator()(xmlDocPtr doc) const noexcept { xmlFreeDoc(doc); }

// ---------------------------------------------------------------- XmlNode

void XmlNode::RequireNode(const char *operation) const {
  if (node_ == nullptr) {
    throw EOleException(std::string("Object required (") + operation + " on no node)");
  }
}

std::string XmlNode::NodeName() const {
  RequireNode("nodeName");
  switch (node_->type) {
  case XML_ELEMENT_NODE: {
    if (node_->ns != nullptr && node_->ns->prefix != nullptr) {
      return S(node_->ns->prefix) + ":" + S(node_->name);
    }
    return S(node_->name);
  }
  case XML_TEXT_NODE: return "#text";
  case XML_CDATA_SECTION_NODE: return "#cdata-section";
  case XML_COMMENT_NODE: return "#comment";
  case XML_PI_NODE: return S(node_->name);
  case XML_DOCUMENT_NODE: return "#document";
  default: return "#" + std::to_string(static_cast<int>(node_->type));
  }
}

bool XmlNode::IsElement() const { return node_ != nullptr && node_->type == XML_ELEMENT_NODE; }

XmlNode XmlNode::FirstChild() const {
  RequireNode("firstChild");
  return {owner_, node_->type == XML_ENTITY_REF_NODE ? nullptr : node_->children};
}
XmlNode XmlNode::LastChild() const {
  RequireNode("lastChild");
  return {owner_, node_->type == XML_ENTITY_REF_NODE ? nullptr : node_->last};
}
XmlNode XmlNode::NextSibling() const {
  RequireNode("nextSibling");
  return {owner_, node_->next};
}
XmlNode XmlNode::PreviousSibling() const {
  RequireNode("previousSibling");
  return {owner_, node_->prev};
}
XmlNode XmlNode::ParentNode() const {
  RequireNode("parentNode");
  xmlNodePtr parent = node_->parent;
  if (parent != nullptr && parent->type != XML_ELEMENT_NODE) parent = nullptr;
  return {owner_, parent};
}
bool XmlNode::HasChildNodes() const {
  RequireNode("hasChildNodes");
  return node_->type != XML_ENTITY_REF_NODE && node_->children != nullptr;
}

std::optional<std::string> XmlNode::FindAttribute(std::string_view name) const {
  RequireNode("getAttribute");
  if (node_->type != XML_ELEMENT_NODE) return std::nullopt;
  const std::string n(name);
  if (xmlHasProp(node_, X(n)) == nullptr) return std::nullopt;
  XmlString value(xmlGetProp(node_, X(n)));
  return S(value.get());
}

std::string XmlNode::GetAttribute(std::string_view name) const {
  std::optional<std::string> value = FindAttribute(name);
  if (!value) {
    throw EOleException("Could not convert variant of type (Null) into type (String): attribute '" + std::string(name) +
                        "' missing");
  }
  return *std::move(value);
}

void XmlNode::SetAttribute(std::string_view name, std::string_view value) {
  RequireNode("setAttribute");
  if (node_->type != XML_ELEMENT_NODE) throw EOleException("setAttribute on a node that is not an element");
  if (xmlSetProp(node_, X(std::string(name)), X(XmlSafeText(value))) == nullptr) {
    throw EOleException("setAttribute failed for '" + std::string(name) + "'");
  }
}

std::string XmlNode::Text() const {
  RequireNode("text");
  XmlString content(xmlNodeGetContent(node_));
  return S(content.get());
}

std::string XmlNode::Xml() const {
  RequireNode("xml");
  std::unique_ptr<xmlBuffer, XmlBufferDeleter> buffer(xmlBufferCreate());
  if (!buffer) throw EOleException("Out of memory");
  if (xmlNodeDump(buffer.get(), node_->doc, node_, 0, 0) < 0) {
    throw EOleException("Cannot serialise node");
  }
  return std::string(reinterpret_cast<const char *>(xmlBufferContent(buffer.get())),
                     static_cast<std::size_t>(xmlBufferLength(buffer.get())));
}

std::string XmlNode::Html() const {
  RequireNode("html");
  // Characters beyond ASCII come out as character references, which every
  // HTML reader decodes.
  std::unique_ptr<xmlOutputBuffer, HtmlOutputDeleter> out(xmlAllocOutputBuffer(nullptr));
  if (!out) throw EOleException("Out of memory");
  htmlNodeDumpFormatOutput(out.get(), node_->doc, node_, "UTF-8", 0);
  const xmlChar *content = xmlOutputBufferGetContent(out.get());
  if (content == nullptr) return {};
  return std::string(reinterpret_cast<const char *>(content), xmlOutputBufferGetSize(out.get()));
}

std::vector<std::string> XmlNode::AttributeNames() const {
  RequireNode("attributes");
  std::vector<std::string> names;
  if (node_->type != XML_ELEMENT_NODE) return names;
  for (xmlAttrPtr attr = node_->properties; attr != nullptr; attr = attr->next)
    names.push_back(S(attr->name));
  return names;
}

void XmlNode::RemoveAttribute(std::string_view name) {
  RequireNode("removeAttribute");
  if (node_->type != XML_ELEMENT_NODE) return;
  const std::string n(name);
  if (xmlAttrPtr attr = xmlHasProp(node_, X(n)); attr != nullptr) xmlRemoveProp(attr);
}

void XmlNode::SetText(std::string_view text) {
  RequireNode("text");
  if (node_->type != XML_ELEMENT_NODE) throw EOleException("text on a node that is not an element");
  while (node_->children != nullptr) {
    xmlNodePtr child = node_->children;
    xmlUnlinkNode(child);
    xmlFreeNode(child);
  }
  const std::string value = XmlSafeText(text);
  if (!value.empty()) xmlAddChild(node_, xmlNewDocTextLen(node_->doc, X(value), static_cast<int>(value.size())));
}

void XmlNode::ReplaceWith(XmlNode child) {
  RequireNode("replaceChild");
  child.RequireNode("replaceChild");
  if (child.node_->doc != node_->doc) throw EOleException("replaceChild: node of another document");
  if (child.node_ == node_) return;
  xmlUnlinkNode(child.node_);
  xmlReplaceNode(node_, child.node_);
  if (owner_ != nullptr) owner_->TrackUnattached(node_);
}

XmlNode XmlNode::AppendChild(XmlNode child) {
  RequireNode("appendChild");
  child.RequireNode("appendChild");
  if (node_->type != XML_ELEMENT_NODE) throw EOleException("appendChild on a node that is not an element");
  xmlNodePtr toAppend = child.node_;
  if (toAppend->doc != node_->doc) {
    toAppend = xmlDocCopyNode(child.node_, node_->doc, 1);
    if (toAppend == nullptr) throw EOleException("Cannot copy node into document");
  } else {
    for (xmlNodePtr p = node_; p != nullptr; p = p->parent) {
      if (p == toAppend) throw EOleException("appendChild: the new child is an ancestor of the parent");
    }
    xmlUnlinkNode(toAppend);
  }
  if (xmlAddChild(node_, toAppend) == nullptr) {
    throw EOleException("appendChild failed");
  }
  return {owner_, toAppend};
}

XmlNode XmlNode::RemoveChild(XmlNode child) {
  RequireNode("removeChild");
  child.RequireNode("removeChild");
  if (child.node_->parent != node_) throw EOleException("removeChild: the node is not a child of this node");
  xmlUnlinkNode(child.node_);
  if (owner_ != nullptr) owner_->TrackUnattached(child.node_);
  return child;
}

XmlNode XmlNode::CloneNode(bool deep) const {
  RequireNode("cloneNode");
  xmlNodePtr copy = xmlDocCopyNode(node_, node_->doc, deep ? 1 : 2);
  if (copy == nullptr) throw EOleException("cloneNode failed");
  if (owner_ != nullptr) owner_->TrackUnattached(copy);
  return {owner_, copy};
}

std::vector<XmlNode> XmlNode::ChildElements(std::string_view name) const {
  RequireNode("selectNodes");
  std::vector<XmlNode> out;
  for (xmlNodePtr c = node_->children; c != nullptr; c = c->next) {
    if (c->type == XML_ELEMENT_NODE && XmlNode(owner_, c).NodeName() == name) out.emplace_back(owner_, c);
  }
  return out;
}

// ------------------------------------------------------------ XmlDocument

XmlDocument::XmlDocument() : doc_(xmlNewDoc(X("1.0"))) {
  if (!doc_) throw EOleException("Cannot create XML document");
  doc_->encoding = xmlStrdup(X("UTF-8"));
}

XmlDocument::~XmlDocument() { FreeUnattached(); }

void XmlDocument::TrackUnattached(xmlNodePtr node) {
  if (std::find(unattached_.begin(), unattached_.end(), node) == unattached_.end()) unattached_.push_back(node);
}

void XmlDocument::FreeUnattached() noexcept {
  // Free every tracked node that is not inside another tracked node or the
  // tree; nested ones go with their top-most unattached ancestor.
  // Decide first, free afterwards: freeing a subtree frees tracked nodes
  // inside it, whose links must not be read after that.
  std::vector<xmlNodePtr> roots;
  for (xmlNodePtr node : unattached_) {
    if (node->parent == nullptr) {
      roots.push_back(node);
    }
  }
  unattached_.clear();
  for (xmlNodePtr node : roots) {
    xmlFreeNode(node);
  }
}

XmlDocPtr XmlDocument::ParseOnce(std::string_view bytes, const char *forcedEncoding, int extraOptions) {
  std::unique_ptr<xmlParserCtxt, ParserCtxtDeleter> ctxt(xmlNewParserCtxt());
  if (!ctxt) throw EOleException("Out of memory");
  xmlSetGenericErrorFunc(nullptr, &SilentErrors);
  xmlDocPtr parsed = xmlCtxtReadMemory(ctxt.get(), bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                       forcedEncoding, SafeParserOptions() | extraOptions);
  XmlDocPtr result(parsed);
  if (!result || !ctxt->wellFormed || xmlDocGetRootElement(result.get()) == nullptr) {
    const xmlError *error = xmlCtxtGetLastError(ctxt.get());
    parseError_ = error != nullptr && error->message != nullptr ? S(reinterpret_cast<const xmlChar *>(error->message))
                                                                : "not a well-formed document";
    while (!parseError_.empty() && (parseError_.back() == '\n' || parseError_.back() == ' '))
      parseError_.pop_back();
    return nullptr;
  }
  return result;
}

bool XmlDocument::ParseInto(std::string_view bytes, const char *forcedEncoding) {
  FreeUnattached();
  parseError_.clear();
  XmlDocPtr result = ParseOnce(bytes, forcedEncoding, 0);
  if (result && (result->intSubset != nullptr || result->extSubset != nullptr)) {
    // Entity references never stay in a document: they are replaced by their
    // text within a budget, and a document over it is refused like any
    // unreadable one.
    const std::size_t budget = std::min(kExpansionCap, kExpansionFactor * bytes.size());
    ExpansionMeter meter(result.get(), budget);
    if (!meter.MeasureTree(result->children)) {
      parseError_ = meter.Reason();
      result.reset();
    } else {
      ScopedEntityLoader noOutside;
      result = ParseOnce(bytes, forcedEncoding, XML_PARSE_NOENT);
      if (result) DropDocumentType(result.get());
    }
  }
  if (!result) {
    doc_.reset(xmlNewDoc(X("1.0")));
    doc_->encoding = xmlStrdup(X("UTF-8"));
    return false;
  }
  DropBlankText(xmlDocGetRootElement(result.get()));
  if (result->encoding != nullptr) xmlFree(const_cast<xmlChar *>(result->encoding));
  result->encoding = xmlStrdup(X("UTF-8"));
  doc_ = std::move(result);
  return true;
}

bool XmlDocument::LoadXML(std::string_view text) { return ParseInto(text, "UTF-8"); }

bool XmlDocument::LoadBytes(std::string_view bytes) { return ParseInto(bytes, nullptr); }

bool XmlDocument::Load(const std::string &path) {
  const std::optional<std::string> bytes = ReadFileBytes(path);
  if (!bytes) {
    FreeUnattached();
    doc_.reset(xmlNewDoc(X("1.0")));
    doc_->encoding = xmlStrdup(X("UTF-8"));
    parseError_ = "cannot read \"" + path + "\"";
    return false;
  }
  return LoadBytes(*bytes);
}

bool XmlDocument::LoadHtml(std::string_view text) {
  FreeUnattached();
  parseError_.clear();
  xmlDocPtr parsed =
      htmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, "UTF-8",
                     HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NOIMPLIED);
  if (parsed == nullptr) {
    parseError_ = "not readable as HTML";
    doc_.reset(xmlNewDoc(X("1.0")));
    doc_->encoding = xmlStrdup(X("UTF-8"));
    return false;
  }
  doc_.reset(parsed);
  return true;
}

XmlNode XmlDocument::DocumentElement() { return {this, xmlDocGetRootElement(doc_.get())}; }

bool XmlDocument::HasRoot() const { return xmlDocGetRootElement(doc_.get()) != nullptr; }

void XmlDocument::SetDocumentElement(XmlNode node) {
  if (node.IsNull() || node.Raw()->doc != doc_.get()) throw EOleException("documentElement: node of another document");
  xmlUnlinkNode(node.Raw());
  xmlNodePtr old = xmlDocSetRootElement(doc_.get(), node.Raw());
  if (old != nullptr) TrackUnattached(old);
}

XmlNode XmlDocument::CreateElement(std::string_view name) {
  xmlNodePtr node = xmlNewDocNode(doc_.get(), nullptr, X(std::string(name)), nullptr);
  if (node == nullptr) throw EOleException("createElement failed for '" + std::string(name) + "'");
  TrackUnattached(node);
  return {this, node};
}

XmlNode XmlDocument::CreateTextNode(std::string_view text) {
  const std::string value = XmlSafeText(text);
  xmlNodePtr node = xmlNewDocTextLen(doc_.get(), X(value), static_cast<int>(value.size()));
  if (node == nullptr) throw EOleException("createTextNode failed");
  TrackUnattached(node);
  return {this, node};
}

std::string XmlDocument::Xml() const {
  if (xmlDocGetRootElement(doc_.get()) == nullptr) return {};
  xmlChar *mem = nullptr;
  int size = 0;
  xmlDocDumpMemoryEnc(doc_.get(), &mem, &size, "UTF-8");
  XmlString owned(mem);
  if (mem == nullptr) throw EOleException("Cannot serialise document");
  return std::string(reinterpret_cast<const char *>(mem), static_cast<std::size_t>(size));
}

void XmlDocument::Save(const std::string &path) const {
  if (xmlDocGetRootElement(doc_.get()) == nullptr) {
    throw EOleException("The document has no root element; nothing saved to \"" + path + "\"");
  }
  WriteFileAtomically(path, Xml());
}

void XmlDocument::Adopt(XmlDocPtr doc) {
  if (!doc) throw EOleException("No document to adopt");
  FreeUnattached();
  if (doc->encoding == nullptr) doc->encoding = xmlStrdup(X("UTF-8"));
  doc_ = std::move(doc);
}

} // namespace quorvelle::platform
