#include "cl_xml.h"

#include <windows.h>

#include <msxml.h>
#include <oleauto.h>

namespace cl {

namespace {
// The import library lacks these: MSXML 3's document class and interface.
const CLSID kClsidDomDocument = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
const IID kIidXmlDomDocument = {0x2933bf81, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

std::wstring Wide(const std::string& s, UINT cp) {
  if (s.empty()) return {};
  DWORD flags = cp == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
  int n = MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring w(n, L'\0');
  MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

std::string Ansi(const wchar_t* w) {
  if (!w || !*w) return {};
  int len = static_cast<int>(wcslen(w));
  int n = WideCharToMultiByte(CP_ACP, 0, w, len, nullptr, 0, nullptr, nullptr);
  std::string s(n, '\0');
  WideCharToMultiByte(CP_ACP, 0, w, len, &s[0], n, nullptr, nullptr);
  return s;
}

// A BSTR owned for one call.
class Bstr {
public:
  explicit Bstr(const std::wstring& w) : b_(SysAllocStringLen(w.data(), static_cast<UINT>(w.size()))) {}
  Bstr() = default;
  ~Bstr() { SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return b_; }
  BSTR* out() { return &b_; }

private:
  BSTR b_ = nullptr;
};

template <typename T>
void Release(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

IXMLDOMNode* AttributeNode(IXMLDOMNode* node, const std::string& name) {
  if (!node) return nullptr;
  IXMLDOMNamedNodeMap* attrs = nullptr;
  IXMLDOMNode* attr = nullptr;
  if (SUCCEEDED(node->get_attributes(&attrs)) && attrs) {
    Bstr n(Wide(name, CP_ACP));
    if (FAILED(attrs->getNamedItem(n.get(), &attr))) attr = nullptr;
  }
  Release(attrs);
  return attr;
}
}  // namespace

TXMLNode::TXMLNode(IXMLDOMNode* node) : node_(node) {}
TXMLNode::TXMLNode(const TXMLNode& o) : node_(o.node_) {
  if (node_) node_->AddRef();
}
TXMLNode& TXMLNode::operator=(const TXMLNode& o) {
  if (o.node_) o.node_->AddRef();
  Release(node_);
  node_ = o.node_;
  return *this;
}
TXMLNode::~TXMLNode() { Release(node_); }

std::string TXMLNode::NodeName() const {
  if (!node_) return {};
  Bstr name;
  if (FAILED(node_->get_nodeName(name.out()))) return {};
  return Ansi(name.get());
}

std::vector<TXMLNode> TXMLNode::ChildNodes() const {
  std::vector<TXMLNode> out;
  if (!node_) return out;
  IXMLDOMNodeList* list = nullptr;
  if (FAILED(node_->get_childNodes(&list)) || !list) return out;
  long n = 0;
  list->get_length(&n);
  out.reserve(n > 0 ? n : 0);
  for (long i = 0; i < n; ++i) {
    IXMLDOMNode* child = nullptr;
    if (SUCCEEDED(list->get_item(i, &child)) && child) out.emplace_back(child);
  }
  Release(list);
  return out;
}

TXMLNode TXMLNode::FirstChild(const std::string& name) const {
  for (TXMLNode& c : ChildNodes())
    if (c.NodeName() == name) return c;
  return TXMLNode();
}

std::string TXMLNode::Attribute(const std::string& name) const {
  IXMLDOMNode* attr = AttributeNode(node_, name);
  if (!attr) return {};
  Bstr text;
  std::string s;
  if (SUCCEEDED(attr->get_text(text.out()))) s = Ansi(text.get());
  Release(attr);
  return s;
}

bool TXMLNode::HasAttribute(const std::string& name) const {
  IXMLDOMNode* attr = AttributeNode(node_, name);
  bool has = attr != nullptr;
  Release(attr);
  return has;
}

TXMLDocument::TXMLDocument() = default;
TXMLDocument::~TXMLDocument() { Release(doc_); }

bool TXMLDocument::Parse(const std::string& text) {
  Release(doc_);
  IXMLDOMDocument* doc = nullptr;
  if (FAILED(CoCreateInstance(kClsidDomDocument, nullptr, CLSCTX_INPROC_SERVER, kIidXmlDomDocument,
                              reinterpret_cast<void**>(&doc))) ||
      !doc)
    return false;
  doc->put_async(VARIANT_FALSE);
  doc->put_validateOnParse(VARIANT_FALSE);
  doc->put_resolveExternals(VARIANT_FALSE);
  std::wstring w = Wide(text, CP_UTF8);
  if (w.empty() && !text.empty()) w = Wide(text, CP_ACP);
  // A byte order mark is not part of the text MSXML parses from a string.
  if (!w.empty() && w[0] == 0xFEFF) w.erase(0, 1);
  Bstr b(w);
  VARIANT_BOOL ok = VARIANT_FALSE;
  if (FAILED(doc->loadXML(b.get(), &ok)) || ok != VARIANT_TRUE) {
    doc->Release();
    return false;
  }
  doc_ = doc;
  return true;
}

TXMLNode TXMLDocument::DocumentElement() const {
  if (!doc_) return TXMLNode();
  IXMLDOMElement* root = nullptr;
  if (FAILED(doc_->get_documentElement(&root)) || !root) return TXMLNode();
  // An element is a node: the element interface derives from it.
  return TXMLNode(root);
}

}  // namespace cl
