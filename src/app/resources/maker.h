// The maker's details: the about text, the web link, the rights notice, the end of help line 7
// and the company fields of the Windows version record all come from here.
//
// The maker is invented: "Квенталь" (Latin "Kvental") names no real company, its address
// and telephone number are fictitious and its web site lies in a reserved example domain.
// tools/resgen/resgen.py reads this file to write the version record into talvik.rc, so the
// two never disagree: after changing a text here, run the generator again.
#pragma once

#include <array>
#include <string_view>

namespace talvik::maker {

// The company's name, as it appears in the about text and in the version record.
inline constexpr std::string_view kName = "НПП «Квенталь»";
// The same name in Latin letters, for places where Cyrillic cannot go (file names, logs).
inline constexpr std::string_view kNameLatin = "Kvental";
// A short note on what the maker does.
inline constexpr std::string_view kNote = "Разработка и производство средств измерений";

// The web site: the text of the link label and the address the click opens. "example" is a
// top-level domain reserved for examples; the address is short enough for the link label to
// end clear of the "ASCII Table" button beside it.
inline constexpr std::string_view kWebAddress = "www.kvental.example";

// The one-line rights notice of the bottom strip; also the version record's legal notice.
inline constexpr std::string_view kRightsNotice = "© 2006 НПП «Квенталь»";

// Version record fields that carry the maker's details.
inline constexpr std::string_view kCompanyName = kName;
inline constexpr std::string_view kLegalCopyright = kRightsNotice;

// Help line 7: the instrument family in double quotes and three of its models, ending with a
// blank.
inline constexpr std::string_view kHelpLine7 =
    "Данные передаются с приборов \"Квенталь-М\" КМ-12, КМ-24, КМ-36 ";

// The about text, eight lines, indented so that they look centred in the about panel: name;
// what the maker does; three lines of instrument kinds; postal address on two lines;
// telephone, fax and e-mail. The panel shows about 50 characters a line.
inline constexpr std::array<std::string_view, 8> kAboutLines = {
    "                  НПП «Квенталь»",
    "   Разработка и производство средств измерений",
    "        термометры и измерители влажности,",
    "          манометры и датчики давления,",
    "           весы и дозаторы лабораторные",
    "           Россия, 000000, г. Примерск,",
    "             ул. Измерительная, д. 1",
    "    т/ф (000) 123-45-67, info@kvental.example",
};

}  // namespace talvik::maker
