// TXmlElement: tag name, attributes, text and flags of one element.
#include "markup/xml_element.h"

#include <windows.h>

TXmlElement::TXmlElement(bool isUtf8, bool isHtml) : IsUtf8(isUtf8), IsHtml(isHtml) {
  // The element deletes its properties itself, as real objects with strings.
  Attributes.OwnsItems = 0;
}

TXmlElement::~TXmlElement() { DeleteAttributes(); }

void TXmlElement::DeleteAttributes() {
  for (DListNode* link = Attributes.First(); link != Attributes.End(); link = link->Next)
    delete PropertyOf(link);
  Attributes.Flush();
}

void TXmlElement::Clear() {
  DeleteAttributes();
  Name.clear();
  Text.clear();
  IsClosed = false;
  IsDeclaration = false;
}

TXmlProperty* TXmlElement::FindProperty(const char* name) const {
  if (!name) return nullptr;
  for (DListNode* link = Attributes.First(); link != Attributes.End(); link = link->Next) {
    TXmlProperty* property = PropertyOf(link);
    if (lstrcmpA(property->Name.c_str(), name) == 0) return property;
  }
  return nullptr;
}

const char* TXmlElement::GetAttribute(const char* name) const {
  TXmlProperty* property = FindProperty(name);
  return property ? property->Value.c_str() : "";
}

const char* TXmlElement::FindAttribute(const char* name) const {
  TXmlProperty* property = FindProperty(name);
  return property ? property->Value.c_str() : nullptr;
}

void TXmlElement::SetAttribute(const char* name, const char* value) {
  if (!name) return;
  if (!value) value = "";
  if (TXmlProperty* property = FindProperty(name)) {
    property->Value = value;
    return;
  }
  Attributes.AddTail(new TXmlProperty(name, value));
}

void TXmlElement::CopyElement(const TXmlElement& source) {
  if (&source == this) return;
  DeleteAttributes();
  for (DListNode* link = source.Attributes.First(); link != source.Attributes.End();
       link = link->Next) {
    const TXmlProperty* property = PropertyOf(link);
    Attributes.AddTail(new TXmlProperty(property->Name, property->Value));
  }
  Name = source.Name;
  Text = source.Text;
  IsUtf8 = source.IsUtf8;
  IsClosed = source.IsClosed;
  IsDeclaration = source.IsDeclaration;
  IsHtml = source.IsHtml;
}
