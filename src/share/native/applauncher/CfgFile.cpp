#include "CfgFile.h"

#include "FileUtils.h"
#include "tstrings.h"

const CfgFile::PropertyMap& CfgFile::getProperties(const SectionId& section) const {
    const SectionMap::const_iterator it = sections.find(section);
    return it == sections.end() ? emptyProperties : it->second;
}

CfgFile& CfgFile::setPropertyValue(const SectionId& section, const PropertyId& property,
                                   const Values& values) {
    sections[section][property] = values;
    return *this;
}

std::string CfgFile::asString(const PropertyMap::value_type& property) {
    return property.second.empty() ? std::string() : property.second.back();
}

std::string CfgFile::asPathList(const PropertyMap::value_type& property) {
    return tstrings::join(property.second.begin(), property.second.end(),
                          std::string(1, FileUtils::pathSeparator));
}
