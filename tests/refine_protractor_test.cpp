// The protractor: well-formed SVG (parsed here), 120 mm square in millimetre units,
// and a numbered ring for every line at the radius the model puts it, computed here
// from the placement rule (radius proportional to turn length, 25 mm at turn 0).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "reference_image.h"
#include "refine/protractor.h"

namespace {

struct Element {
    std::string name;
    std::map<std::string, std::string> attributes;
    std::string text;
};

// A small XML reader: the declaration, elements with quoted attributes, text, and
// nothing else. Fails on anything malformed: unbalanced or crossed tags, an
// unquoted or repeated attribute, a stray '<' or '&'.
struct Xml {
    explicit Xml(const std::string& text) : s(text) {}
    const std::string& s;
    std::size_t at = 0;
    std::vector<Element> elements;  // every element, in document order
    std::string error;

    bool fail(const std::string& why)
    {
        if (error.empty())
            error = why + " at " + std::to_string(at);
        return false;
    }
    static bool name_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == ':' || c == '_'; }
    std::string name()
    {
        const std::size_t from = at;
        while (at < s.size() && name_char(s[at]))
            ++at;
        return s.substr(from, at - from);
    }
    void blanks()
    {
        while (at < s.size() && std::isspace(static_cast<unsigned char>(s[at])) != 0)
            ++at;
    }
    bool text_until_tag(std::string& text)
    {
        while (at < s.size() && s[at] != '<') {
            if (s[at] == '&' || s[at] == '>')
                return fail("bare & or >");
            text += s[at++];
        }
        return true;
    }
    bool element()
    {
        if (s.compare(at, 1, "<") != 0)
            return fail("expected a tag");
        ++at;
        Element e;
        e.name = name();
        if (e.name.empty())
            return fail("tag without a name");
        for (;;) {
            blanks();
            if (s.compare(at, 2, "/>") == 0) {
                at += 2;
                elements.push_back(e);
                return true;
            }
            if (s.compare(at, 1, ">") == 0) {
                ++at;
                break;
            }
            const std::string attribute = name();
            if (attribute.empty() || s.compare(at, 2, "=\"") != 0)
                return fail("bad attribute");
            at += 2;
            const std::size_t end = s.find('"', at);
            if (end == std::string::npos || s.find('<', at) < end)
                return fail("unterminated attribute");
            if (!e.attributes.emplace(attribute, s.substr(at, end - at)).second)
                return fail("repeated attribute");
            at = end + 1;
        }
        const std::size_t index = elements.size();
        elements.push_back(e);
        for (;;) {
            std::string text;
            if (!text_until_tag(text))
                return false;
            elements[index].text += text;
            if (at >= s.size())
                return fail("unclosed " + e.name);
            if (s.compare(at, 2, "</") == 0) {
                at += 2;
                if (name() != e.name || s.compare(at, 1, ">") != 0)
                    return fail("crossed tags in " + e.name);
                ++at;
                return true;
            }
            if (!element())
                return false;
        }
    }
    bool document()
    {
        if (s.compare(0, 5, "<?xml") == 0) {
            at = s.find("?>");
            if (at == std::string::npos)
                return fail("unclosed declaration");
            at += 2;
        }
        blanks();
        if (!element())
            return false;
        blanks();
        return at == s.size() || fail("content after the root");
    }
};

std::string protractor_text(TrackModel m, int lines)
{
    std::FILE* file = std::tmpfile();
    draw_protractor(m, lines, file);
    const Bytes bytes = read_whole_file(file);
    std::fclose(file);
    return std::string(bytes.begin(), bytes.end());
}

TEST(Protractor, IsWellFormedSvgOneHundredTwentyMillimetresWide)
{
    const std::string svg = protractor_text({23000, 1.388}, 32);
    Xml xml(svg);
    ASSERT_TRUE(xml.document()) << xml.error;
    const Element& root = xml.elements.front();
    EXPECT_EQ(root.name, "svg");
    EXPECT_EQ(root.attributes.at("width"), "120mm");
    EXPECT_EQ(root.attributes.at("height"), "120mm");
    EXPECT_EQ(root.attributes.at("viewBox"), "-60 -60 120 120");  // one user unit is a millimetre
    EXPECT_EQ(root.attributes.at("xmlns"), "http://www.w3.org/2000/svg");
    int ticks = 0;
    for (const Element& e : xml.elements)
        ticks += e.name == "line" ? 1 : 0;
    EXPECT_EQ(ticks, 2 * 72);  // every 5 degrees, in the hub and at the rim
}

TEST(Protractor, RingsSitAtTheRadiiTheModelGivesEachLine)
{
    const TrackModel m{22987.5, 1.3902};
    const std::string svg = protractor_text(m, 31);
    Xml xml(svg);
    ASSERT_TRUE(xml.document()) << xml.error;
    std::vector<double> radii;
    std::vector<std::string> numbers;
    for (const Element& e : xml.elements) {
        const auto c = e.attributes.find("class");
        if (e.name == "circle" && c != e.attributes.end() && c->second == "line-ring") {
            EXPECT_EQ(e.attributes.at("id"), "line-" + std::to_string(radii.size()));
            radii.push_back(std::stod(e.attributes.at("r")));
        }
        if (e.name == "text" && !e.text.empty() && std::isdigit(static_cast<unsigned char>(e.text[0])) != 0)
            numbers.push_back(e.text);
    }
    ASSERT_EQ(radii.size(), 31U);
    for (int k = 0; k < 31; ++k) {
        const double middle_turn = 625.0 * k + 312.5;
        EXPECT_NEAR(radii[k], 25 * (m.tr0 + m.dtr * middle_turn) / m.tr0, 1e-3) << "line " << k;
        EXPECT_NE(std::find(numbers.begin(), numbers.end(), std::to_string(k)), numbers.end()) << "number " << k;
    }
    EXPECT_NEAR(radii[0], 25.47, 0.01);  // turn 312.5 of a 23 kB first turn
    EXPECT_NEAR(radii[30], 25 * (1 + 1.3902 * 19062.5 / 22987.5), 1e-3);
    EXPECT_LT(radii[30], 60);
}

}  // namespace
