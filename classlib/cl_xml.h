// XML document over the MSXML document object model (COM). The thread that
// uses it must have initialised COM. Texts come back in the ANSI code page.
#pragma once
#include <string>
#include <vector>

struct IXMLDOMDocument;
struct IXMLDOMNode;

namespace cl {

// One element or other node of a parsed document; empty when it refers to
// nothing. Holds a reference of its own.
class TXMLNode {
public:
  TXMLNode() = default;
  explicit TXMLNode(IXMLDOMNode* node);  // takes over the reference
  TXMLNode(const TXMLNode& o);
  TXMLNode& operator=(const TXMLNode& o);
  ~TXMLNode();

  bool Empty() const { return node_ == nullptr; }
  std::string NodeName() const;
  // Direct children in document order (comments and texts included).
  std::vector<TXMLNode> ChildNodes() const;
  // The first direct child of that name (case-sensitive); empty when none.
  TXMLNode FirstChild(const std::string& name) const;
  // The attribute's text; empty when absent.
  std::string Attribute(const std::string& name) const;
  bool HasAttribute(const std::string& name) const;

private:
  IXMLDOMNode* node_ = nullptr;
};

class TXMLDocument {
public:
  TXMLDocument();
  ~TXMLDocument();
  TXMLDocument(const TXMLDocument&) = delete;
  TXMLDocument& operator=(const TXMLDocument&) = delete;

  // Parses the text (UTF-8 when it is valid UTF-8, else ANSI); false when
  // MSXML is missing or the text is not well-formed. No external entity or
  // DTD is fetched.
  bool Parse(const std::string& text);
  // Empty unless a parse succeeded.
  TXMLNode DocumentElement() const;

private:
  IXMLDOMDocument* doc_ = nullptr;
};

}  // namespace cl
