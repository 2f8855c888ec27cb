#include "u_Variables.h"
#include "u_XMLParser.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Vars(std::initializer_list<std::pair<const char*, const char*>> entries) {
    std::string text = "<vars>\r\n";
    for (const auto& [name, value] : entries)
        text += std::string("  <var name=\"") + name + "\">$" + value + "</var>\r\n";
    return text + "</vars>";
}

std::string CycleOf(const std::string& text) {
    try {
        TVariables variables(text, true);
    } catch (const EVariablesError& e) {
        return e.Message();
    }
    return "(no cycle)";
}

TEST(Variables, ReferencesResolveAtLoad) {
    TVariables variables(Vars({{"B", "%{A}y"}, {"A", "x"}, {"C", "%{b}%{B}"}}), true);
    EXPECT_EQ(variables.Table().GetString("B"), "xy");
    EXPECT_EQ(variables.Table().GetString("c"), "xyxy");
    EXPECT_EQ(variables.Substitute("%{b}!"), "xy!");
    EXPECT_EQ(variables.Substitute("%{A}%{A}"), "xx");
    EXPECT_EQ(variables.Substitute("%{title}"), "%{title}");
}

TEST(Variables, Cycles) {
    EXPECT_EQ(CycleOf(Vars({{"A", "%{B}"}, {"B", "%{A}"}})),
              "Cycling reference encountered during loading variable \"A\"");
    EXPECT_EQ(CycleOf(Vars({{"A", "1%{A}"}})), "Cycling reference encountered during loading variable \"A\"");
    EXPECT_EQ(CycleOf(Vars({{"Title", "%{tItLe}"}})),
              "Cycling reference encountered during loading variable \"Title\"");
    EXPECT_EQ(CycleOf(Vars({{"A", "%{B}"}, {"B", "%{C}"}, {"C", "%{B}"}})),
              "Cycling reference encountered during loading variable \"B\"");
    // Referring to the same variable twice is no cycle.
    EXPECT_EQ(CycleOf(Vars({{"A", "%{B}%{B}"}, {"B", "b"}})), "(no cycle)");
}

TEST(Variables, LongChainResolvesWithoutRecursion) {
    std::string text = "<vars>";
    const int count = 50000;
    for (int i = 0; i < count; ++i)
        text += "<var name=\"V" + std::to_string(i) + "\">$%{V" + std::to_string(i + 1) + "}</var>\n";
    text += "<var name=\"V" + std::to_string(count) + "\">$end</var></vars>";
    TVariables variables(text, true);
    EXPECT_EQ(variables.Substitute("%{V0}"), "end");
}

TEST(Variables, ValuesAsStored) {
    TVariables variables(
        "<vars><var name=\"TITLE\">$first</var><var NAME=\"title\">$second</var>"
        "<var name=\"E1\">$</var><var name=\"E2\"></var><var name=\"\">$y</var><var>$z</var>"
        "<var name=\"D\">$$5</var><var name=\"L\">\n$v\n</var><var name=\"P\">a\\<b&amp;</var>"
        "</vars>",
        true);
    const TStringToStringDictionary& table = variables.Table();
    EXPECT_EQ(table.Count(), 6);
    EXPECT_EQ(table.GetString("Title"), "first");
    EXPECT_EQ(table.GetString("E1"), "");
    EXPECT_EQ(table.GetString("E2"), "");
    EXPECT_EQ(table.GetString("D"), "$5");
    EXPECT_EQ(table.GetString("L"), "\n$v\n");
    EXPECT_EQ(table.GetString("P"), "a<b&amp;");

    TVariables withoutMarker("<vars><var name=\"D\">$$5</var></vars>", false);
    EXPECT_EQ(withoutMarker.Table().GetString("D"), "$$5");
}

TEST(Variables, ScannerLeavesNonReferencesAlone) {
    TVariables variables(Vars({{"A", "x"}, {"U", "%{UNKNOWN}"}, {" A ", "blank"}}), true);
    EXPECT_EQ(variables.Substitute("%{UNKNOWN} %{} %{A"), "%{UNKNOWN} %{} %{A");
    EXPECT_EQ(variables.Substitute("%%{A}"), "%%{A}");
    EXPECT_EQ(variables.Substitute("100%{A}%"), "100x%");
    EXPECT_EQ(variables.Substitute("%{ A }"), "blank");
    // An inserted value is not scanned again, even when it holds a reference.
    EXPECT_EQ(variables.Substitute("%{U}%{A}"), "%{UNKNOWN}x");
    EXPECT_EQ(variables.Substitute("no percent"), "no percent");
}

TEST(Variables, NoFileMeansNoVariables) {
    TVariables variables("", true);
    EXPECT_EQ(variables.Table().Count(), 0);
    EXPECT_EQ(variables.Substitute("%{TITLE}"), "%{TITLE}");
}

TEST(Variables, SyntaxErrorsLeaveTheConstructor) {
    EXPECT_THROW(TVariables("<vars><var name=\"A\">x</vars>", true), EParserError);
}

} // namespace
