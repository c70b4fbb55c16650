// TXmlElement: one element as the tag reader delivers it, with its attributes
// (TXmlProperty) and the flags that steer reading and writing.
#pragma once

#include <string>

#include "markup/dbl_list.h"

// The 8-bit text type for names, attribute values, element text and the log.
typedef std::string string;

// One attribute: name and value.
struct TXmlProperty {
  TXmlProperty() = default;
  TXmlProperty(const string& name, const string& value) : Name(name), Value(value) {}
  string Name;
  string Value;
};

// An element: tag name, attributes in document order (duplicates possible),
// character data and the four flags that steer reading and writing. The
// element owns its TXmlProperty objects (the list's OwnsItems is 0; the
// element deletes them itself). Not copyable: use CopyElement.
class TXmlElement {
 public:
  explicit TXmlElement(bool isUtf8 = false, bool isHtml = false);
  virtual ~TXmlElement();
  TXmlElement(const TXmlElement&) = delete;
  TXmlElement& operator=(const TXmlElement&) = delete;

  // Delete every attribute, empty Name and Text, reset IsClosed and
  // IsDeclaration. IsUtf8 and IsHtml stay: the reader relies on the encoding
  // surviving into the next element read into the same node.
  virtual void Clear();
  // Value of the first attribute named exactly `name`, or "" when there is
  // none. Points into the element; valid until the attribute changes.
  const char* GetAttribute(const char* name) const;
  // As GetAttribute, but null when there is no such attribute, so that a
  // missing attribute and an empty one can be told apart.
  const char* FindAttribute(const char* name) const;
  // Give the first attribute named exactly `name` this value (it keeps its
  // position), or append a new attribute when there is none.
  void SetAttribute(const char* name, const char* value);
  // Replace attributes, Name, Text and the four flags with copies of the
  // source's. Children and Parent of a tree node are not touched.
  void CopyElement(const TXmlElement& source);
  // Delete every attribute and empty the list.
  void DeleteAttributes();
  // The attribute at a link of Attributes.
  static TXmlProperty* PropertyOf(const DListNode* link) {
    return static_cast<TXmlProperty*>(link->Item);
  }

  TDblList Attributes;  // of TXmlProperty*, owned through the element
  string Name;
  string Text;          // decoded character data, line ends "\r\n"
  bool IsUtf8 = false;  // text is UTF-8 on input and output
  bool IsClosed = false;       // nothing more to read for this element
  bool IsDeclaration = false;  // the tag began with "?" or "!"
  bool IsHtml = false;         // the HTML reading and writing rules apply

 private:
  TXmlProperty* FindProperty(const char* name) const;
};
