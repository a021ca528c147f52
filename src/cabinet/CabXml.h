#pragma once

#include <string>

// One element: "<tag attr = 'value'>content</tag>", the attribute only when its name is given.
// Nothing is escaped: the listing copies names exactly as they are stored.
std::string XmlElement(const std::string& content, const std::string& tag,
                       const std::string& attributeName = "", const std::string& attributeValue = "");
