#include "checking/character_references.h"

#include <algorithm>
#include <string_view>

namespace quorvel {

namespace {

struct NamedReference {
    std::u16string_view name;
    char16_t unit;
};

// The references pages use in link texts and addresses, sorted by name.
constexpr NamedReference kNamed[] = {
    {u"AMP", u'&'},         {u"GT", u'>'},          {u"LT", u'<'},          {u"Prime", u'\u2033'},
    {u"QUOT", u'"'},        {u"amp", u'&'},         {u"apos", u'\''},       {u"asymp", u'\u2248'},
    {u"bdquo", u'\u201E'},  {u"bull", u'\u2022'},   {u"cent", u'\u00A2'},   {u"copy", u'\u00A9'},
    {u"darr", u'\u2193'},   {u"deg", u'\u00B0'},    {u"divide", u'\u00F7'}, {u"emsp", u'\u2003'},
    {u"ensp", u'\u2002'},   {u"euro", u'\u20AC'},   {u"frac12", u'\u00BD'}, {u"frac14", u'\u00BC'},
    {u"frac34", u'\u00BE'}, {u"ge", u'\u2265'},     {u"gt", u'>'},          {u"harr", u'\u2194'},
    {u"hearts", u'\u2665'}, {u"hellip", u'\u2026'}, {u"iexcl", u'\u00A1'},  {u"infin", u'\u221E'},
    {u"iquest", u'\u00BF'}, {u"laquo", u'\u00AB'},  {u"larr", u'\u2190'},   {u"ldquo", u'\u201C'},
    {u"le", u'\u2264'},     {u"lrm", u'\u200E'},    {u"lsaquo", u'\u2039'}, {u"lsquo", u'\u2018'},
    {u"lt", u'<'},          {u"mdash", u'\u2014'},  {u"micro", u'\u00B5'},  {u"middot", u'\u00B7'},
    {u"minus", u'\u2212'},  {u"nbsp", u'\u00A0'},   {u"ndash", u'\u2013'},  {u"ne", u'\u2260'},
    {u"numero", u'\u2116'}, {u"para", u'\u00B6'},   {u"plusmn", u'\u00B1'}, {u"pound", u'\u00A3'},
    {u"prime", u'\u2032'},  {u"quot", u'"'},        {u"raquo", u'\u00BB'},  {u"rarr", u'\u2192'},
    {u"rdquo", u'\u201D'},  {u"reg", u'\u00AE'},    {u"rlm", u'\u200F'},    {u"rsaquo", u'\u203A'},
    {u"rsquo", u'\u2019'},  {u"sbquo", u'\u201A'},  {u"sect", u'\u00A7'},   {u"shy", u'\u00AD'},
    {u"sup1", u'\u00B9'},   {u"sup2", u'\u00B2'},   {u"sup3", u'\u00B3'},   {u"thinsp", u'\u2009'},
    {u"times", u'\u00D7'},  {u"trade", u'\u2122'},  {u"uarr", u'\u2191'},   {u"yen", u'\u00A5'},
    {u"zwj", u'\u200D'},    {u"zwnj", u'\u200C'},
};

static_assert(std::is_sorted(std::begin(kNamed), std::end(kNamed),
                             [](const NamedReference& a, const NamedReference& b) {
                                 return a.name < b.name;
                             }));

// Names a browser also takes without the ";" (the rest need it).
constexpr std::u16string_view kLegacy[] = {u"AMP",  u"GT",  u"LT",    u"QUOT", u"amp",
                                           u"copy", u"gt",  u"lt",    u"nbsp", u"quot",
                                           u"reg",  u"deg", u"laquo", u"raquo"};

// What a browser makes of &#128; to &#159;: the Windows-1252 characters.
constexpr char16_t kC1[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                              0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                              0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                              0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool isAsciiAlnum(char16_t c) {
    return (c >= u'0' && c <= u'9') || ((c | 0x20) >= u'a' && (c | 0x20) <= u'z');
}

int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    const char16_t l = char16_t(c | 0x20);
    return l >= u'a' && l <= u'f' ? l - u'a' + 10 : -1;
}

void appendCodePoint(QString* out, char32_t cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        cp = 0xFFFD;
    } else if (cp >= 0x80 && cp <= 0x9F) {
        cp = kC1[cp - 0x80];
    }
    const char32_t one[] = {cp};
    out->append(QString::fromUcs4(one, 1));
}

}  // namespace

qsizetype characterReferenceAt(QStringView text, qsizetype at, bool attribute, QString* out) {
    const qsizetype n = text.size();
    qsizetype i = at + 1;
    if (i < n && text[i] == u'#') {
        ++i;
        const bool hex = i < n && (text[i] == u'x' || text[i] == u'X');
        i += hex ? 1 : 0;
        const qsizetype digits = i;
        char32_t value = 0;
        for (; i < n; ++i) {
            const char16_t c = text[i].unicode();
            const int d = hex ? hexValue(c) : (c >= u'0' && c <= u'9' ? c - u'0' : -1);
            if (d < 0) {
                break;
            }
            value = std::min<char32_t>(value * (hex ? 16 : 10) + char32_t(d), 0x110000);
        }
        if (i == digits) {
            return 0;
        }
        appendCodePoint(out, value);
        return (i < n && text[i] == u';' ? i + 1 : i) - at;
    }
    qsizetype end = i;
    while (end < n && end - i < 8 && isAsciiAlnum(text[end].unicode())) {
        ++end;
    }
    const std::u16string_view name(text.utf16() + i, size_t(end - i));
    const bool semicolon = end < n && text[end] == u';';
    const auto* found = std::lower_bound(
        std::begin(kNamed), std::end(kNamed), name,
        [](const NamedReference& r, std::u16string_view key) { return r.name < key; });
    if (found == std::end(kNamed) || found->name != name) {
        return 0;
    }
    if (!semicolon) {
        if (std::find(std::begin(kLegacy), std::end(kLegacy), name) == std::end(kLegacy)) {
            return 0;
        }
        if (attribute && end < n && (isAsciiAlnum(text[end].unicode()) || text[end] == u'=')) {
            return 0;
        }
    }
    out->append(QChar(found->unit));
    return end + (semicolon ? 1 : 0) - at;
}

QString decodeCharacterReferences(QStringView value) {
    if (!value.contains(u'&')) {
        return value.toString();
    }
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size();) {
        if (value[i] == u'&') {
            if (const qsizetype taken = characterReferenceAt(value, i, true, &out)) {
                i += taken;
                continue;
            }
        }
        out += value[i++];
    }
    return out;
}

}  // namespace quorvel
