#include "cabinet/CabXml.h"

std::string XmlElement(const std::string& content, const std::string& tag,
                       const std::string& attributeName, const std::string& attributeValue) {
    std::string out = "<" + tag;
    if (!attributeName.empty()) out += " " + attributeName + " = '" + attributeValue + "'";
    return out + ">" + content + "</" + tag + ">";
}
