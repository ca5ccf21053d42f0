#pragma once
// A small DOM over libxml2 with the calls the feed store, the report and the
// list conversions make: parse, serialise, walk, attributes, create, append,
// remove, copy. The parser never loads a DTD, never resolves an external
// entity and never touches the network.

#include <libxml/tree.h>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvelle::platform {

class XmlDocument;

// A non-owning reference to a node of an XmlDocument. A null reference stands
// for "no node". References stay valid until the node's document is reloaded
// or destroyed.
class XmlNode {
public:
  XmlNode() = default;
  XmlNode(XmlDocument *owner, xmlNodePtr node) : owner_(owner), node_(node) {}

  [[nodiscard]] bool IsNull() const { return node_ == nullptr; }
  explicit operator bool() const { return node_ != nullptr; }
  bool operator==(const XmlNode &other) const { return node_ == other.node_; }

  // Element name; "#text", "#comment", "#cdata-section",
  // "#processing-instruction" for the other kinds.
  [[nodiscard]] std::string NodeName() const;
  [[nodiscard]] bool IsElement() const;

  [[nodiscard]] XmlNode FirstChild() const;
  [[nodiscard]] XmlNode LastChild() const;
  [[nodiscard]] XmlNode NextSibling() const;
  [[nodiscard]] XmlNode PreviousSibling() const;
  [[nodiscard]] XmlNode ParentNode() const;
  [[nodiscard]] bool HasChildNodes() const;

  // The attribute's text; throws EOleException when the attribute is missing
  // (the callers' guards rely on that).
  [[nodiscard]] std::string GetAttribute(std::string_view name) const;
  [[nodiscard]] std::optional<std::string> FindAttribute(std::string_view name) const;
  // The value passes through XmlSafeText first, so no caller can write a
  // document that does not read back.
  void SetAttribute(std::string_view name, std::string_view value);

  // Text content with markup removed.
  [[nodiscard]] std::string Text() const;
  // The node's XML text (its outer XML).
  [[nodiscard]] std::string Xml() const;
  // The node as HTML text (its outer HTML), as the HTML serialiser writes
  // it: void elements without end tags, text escaped, characters beyond
  // ASCII as character references.
  [[nodiscard]] std::string Html() const;

  // The names of the element's attributes, in document order.
  [[nodiscard]] std::vector<std::string> AttributeNames() const;
  // Drops the attribute; nothing happens when it is missing.
  void RemoveAttribute(std::string_view name);
  // Replaces every child with one text node holding text.
  void SetText(std::string_view text);

  // Appends the child as last child and returns it. A node of another
  // document is copied into this one and the copy is returned.
  XmlNode AppendChild(XmlNode child);
  // Detaches the child; it stays owned by the document.
  XmlNode RemoveChild(XmlNode child);
  // Puts child (of this document, detached first) in the place of this node,
  // which is detached and stays owned by the document.
  void ReplaceWith(XmlNode child);
  // An unattached copy (with its subtree when deep) in the same document.
  [[nodiscard]] XmlNode CloneNode(bool deep) const;

  // The element children with that name (the "select direct children" query).
  [[nodiscard]] std::vector<XmlNode> ChildElements(std::string_view name) const;

  [[nodiscard]] xmlNodePtr Raw() const { return node_; }
  [[nodiscard]] XmlDocument *Owner() const { return owner_; }

private:
  void RequireNode(const char *operation) const;
  XmlDocument *owner_ = nullptr;
  xmlNodePtr node_ = nullptr;
};

struct XmlDocDeleter {
  void operator()(xmlDocPtr doc) const noexcept;
};
using XmlDocPtr = std::unique_ptr<xmlDoc, XmlDocDeleter>;

class XmlDocument {
public:
  XmlDocument();
  ~XmlDocument();
  XmlDocument(const XmlDocument &) = delete;
  XmlDocument &operator=(const XmlDocument &) = delete;

  // Replaces the content with the parsed text (taken as UTF-8, whatever its
  // declaration says). White-space-only text is dropped; entity references
  // are replaced (references to outside entities are dropped unread) and the
  // document type dropped. A text that does not parse or expands beyond the
  // budget leaves the document empty (no root) and returns false.
  bool LoadXML(std::string_view text);
  // Parses raw bytes honouring the byte-order mark and the encoding
  // declaration, as for a downloaded file. Same result rules as LoadXML.
  bool LoadBytes(std::string_view bytes);
  // Parses a file (raw bytes). A missing file leaves the document empty.
  bool Load(const std::string &path);
  // Parses text (UTF-8) as an HTML page, as a browser reads one: malformed
  // markup is mended, never refused; nothing is loaded from the network.
  // False only when nothing could be read at all.
  bool LoadHtml(std::string_view text);

  [[nodiscard]] std::string ParseError() const { return parseError_; }

  [[nodiscard]] XmlNode DocumentElement();
  [[nodiscard]] bool HasRoot() const;
  // Makes the node (of this document) the root, replacing an existing one.
  void SetDocumentElement(XmlNode node);

  [[nodiscard]] XmlNode CreateElement(std::string_view name);
  [[nodiscard]] XmlNode CreateTextNode(std::string_view text);

  // The whole document as XML text, with the declaration
  // <?xml version="1.0" encoding="UTF-8"?>; "" for a document without root.
  [[nodiscard]] std::string Xml() const;
  // Writes Xml() to the path atomically. Throws EOleException for a document
  // without root and EInOutError when the file cannot be written.
  void Save(const std::string &path) const;

  [[nodiscard]] xmlDocPtr Raw() const { return doc_.get(); }
  // Takes over a libxml2 document (the result of a transformation).
  void Adopt(XmlDocPtr doc);
  // Records a node created or detached in this document, so it is freed with
  // the document unless it is attached by then.
  void TrackUnattached(xmlNodePtr node);

private:
  bool ParseInto(std::string_view bytes, const char *forcedEncoding);
  XmlDocPtr ParseOnce(std::string_view bytes, const char *forcedEncoding, int extraOptions);
  void FreeUnattached() noexcept;
  XmlDocPtr doc_;
  std::vector<xmlNodePtr> unattached_;
  std::string parseError_;
};

// Parser options used for every parse: no DTD loading, no entity expansion
// from outside, no network, no blank text nodes. A document that declares
// entities is read a second time with its internal entities replaced, once
// their expanded size is known to stay within a few times the input.
int SafeParserOptions();

} // namespace quorvelle::platform
