#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "model/Reports.h"
#include "model/Text.h"

using namespace tarvelo;

namespace {

const std::string M(10, ' ');  // the margin
const std::string G(10, ' ');  // the gap between the two entries of a line
const std::string kRule =
    M + "-------+---------+-----------------" + G + "-------+---------+-----------------";

// A line of two entries: the right one starts where the right-hand heading does, one column
// beyond the left entry's end (its rights column is a column narrower than its heading).
std::string Pair(const std::string& left, const std::string& right) {
  return M + left + " " + G + right;
}

std::string Cp(const char* utf8) {
  return *Utf8ToCp1250(utf8);
}

CodeRow Row(const std::string& code, const char* rights) {
  CodeRow r;
  r.code = code;
  for (int i = 0; i < 4; ++i) r.rights[i] = rights[i] == 'I' ? kYes : kNo;
  return r;
}

// A grid of `n` codes "000001", "000002", ... with all rights.
CodeGrid Codes(int n) {
  CodeGrid grid;
  grid.setRowCount(n + 1);
  for (int k = 1; k <= n; ++k) {
    std::string code = std::to_string(k);
    grid.row(k) = Row(std::string(6 - code.size(), '0') + code, "IIII");
  }
  return grid;
}

CodeListInput CodeInput(const CodeGrid& grid, RowRange rows) {
  CodeListInput in;
  in.fileName = "/tmp/iroda.pi4";
  in.site = Cp("Győr, főposta");
  in.owner = Cp("Kovács Ödön");
  in.dateTime = "2024.03.05. 14:07:00";
  in.grid = &grid;
  in.rows = rows;
  return in;
}

std::vector<std::string> Texts(const ReportPage& page, size_t from = 0) {
  std::vector<std::string> texts;
  for (size_t i = from; i < page.size(); ++i) texts.push_back(page[i].text);
  return texts;
}

}  // namespace

TEST(ReportsTest, CodeListFirstPageHeadingAndPairsOfEntriesEachUnderlined) {
  const CodeGrid grid = Codes(5);
  const Report report = CodeListReport(CodeInput(grid, {1, 5}), 60);
  ASSERT_EQ(report.pages.size(), 1u);
  const ReportPage& page = report.pages[0];
  const std::string h1 = Cp("Sorsz. |Kód      |Jog              ");
  const std::vector<std::string> heading = {
      M + Cp("Személyi kódok:") + "/tmp/iroda.pi4" + G + "2024.03.05. 14:07:00",
      M + Cp("Telepítési hely:Győr, főposta"),
      M + Cp("Telepítő       :Kovács Ödön"),
      "",
      M + "Oldal:1",
      "",
      M + h1 + G + h1,
      kRule,
  };
  const std::string all = "Loc,Nat,Mob,Int,";
  const std::vector<std::string> body = {
      Pair("   0001|000001   |" + all, "   0002|000002   |" + all),
      kRule,
      Pair("   0003|000003   |" + all, "   0004|000004   |" + all),
      kRule,
      M + "   0005|000005   |" + all,
      kRule,
  };
  std::vector<std::string> expected = heading;
  expected.insert(expected.end(), body.begin(), body.end());
  EXPECT_EQ(Texts(page), expected);
  for (size_t i = 0; i < page.size(); ++i)
    EXPECT_EQ(page[i].bold, i < heading.size()) << "line " << i;
}

TEST(ReportsTest, EntryParts) {
  struct Case {
    const char* rights;
    std::string text;
  };
  for (const Case& c : std::vector<Case>{{"ININ", "Loc,Mob," + std::string(8, ' ')},
                                         {"IIII", "Loc,Nat,Mob,Int,"},
                                         {"NNNN", std::string(16, ' ')},
                                         {"NINI", "Nat,Int," + std::string(8, ' ')}}) {
    EXPECT_EQ(RightsText(Row("1", c.rights).rights), c.text) << c.rights;
  }
  // A right counts when its text begins with "I", whatever follows; an empty one does not.
  EXPECT_EQ(RightsText({"I", "", "igen", "Ix"}), "Loc,Int," + std::string(8, ' '));

  struct Number {
    int k;
    const char* text;
  };
  for (const Number& n : std::vector<Number>{{1, "   0001"},
                                             {5, "   0005"},
                                             {614, "   0614"},
                                             {3072, "   3072"},
                                             {12345, "  12345"}}) {
    EXPECT_EQ(RowNumberText(n.k), n.text) << n.k;
  }

  CodeGrid grid;
  grid.setRowCount(3);
  grid.row(1) = Row("12", "NNNN");
  grid.row(2) = Row("12345678", "INNN");
  EXPECT_EQ(CodeEntryText(grid, 1), "   0001|12       |" + std::string(16, ' '));
  EXPECT_EQ(CodeEntryText(grid, 2), "   0002|12345678 |Loc,            ");
}

TEST(ReportsTest, RowsSideBySideEachShowTheirOwnCodeAndRights) {
  CodeGrid grid;
  grid.setRowCount(5);
  grid.row(1) = Row("111111", "IIII");
  grid.row(2) = Row("222222", "INNN");
  grid.row(3) = Row("333333", "NNIN");
  grid.row(4) = Row("444444", "IIII");
  const Report report = CodeListReport(CodeInput(grid, {2, 3}), 60);
  ASSERT_EQ(report.pages.size(), 1u);
  EXPECT_EQ(Texts(report.pages[0], 8),
            (std::vector<std::string>{
                Pair("   0002|222222   |Loc,            ", "   0003|333333   |Mob,            "),
                kRule}));
}

TEST(ReportsTest, RowsAndItemsChosenByThePrintDialog) {
  // Code rows: the grid has 10 codes (11 rows with the heading row).
  struct CodeCase {
    PrintScope scope;
    RowRange selection, pages;
    int first, last;
  };
  for (const CodeCase& c : std::vector<CodeCase>{
           {PrintScope::All, {4, 6}, {2, 3}, 1, 10},
           {PrintScope::Selection, {4, 6}, {2, 3}, 4, 6},
           {PrintScope::Selection, {1, 10}, {2, 3}, 1, 10},  // after "Mind kijelöl"
           {PrintScope::PageNumbers, {4, 6}, {2, 3}, 2, 3},
           {PrintScope::PageNumbers, {}, {0, 99}, 1, 10},  // brought into the grid
       }) {
    const RowRange r = CodeRowsToPrint(c.scope, 11, c.selection, c.pages);
    EXPECT_EQ(r.first, c.first);
    EXPECT_EQ(r.last, c.last);
  }

  // Number items: the dialog's numbers count from 1, the list from 0.
  struct NumberCase {
    PrintScope scope;
    std::vector<int> items;
  };
  const std::set<int> selected = {0, 4};
  for (const NumberCase& c : std::vector<NumberCase>{{PrintScope::All, {0, 1, 2, 3, 4}},
                                                     {PrintScope::Selection, {0, 4}},
                                                     {PrintScope::PageNumbers, {2, 3}}}) {
    EXPECT_EQ(NumberItemsToPrint(c.scope, 5, selected, {3, 4}), c.items);
  }
  EXPECT_TRUE(NumberItemsToPrint(PrintScope::PageNumbers, 5, {}, {6, 9}).empty());
  EXPECT_TRUE(NumberItemsToPrint(PrintScope::Selection, 5, {}, {}).empty());
}

TEST(ReportsTest, NumberListPrintsItsItemsUnderAHeadingWithThePageNumber) {
  const std::vector<std::string> items = {"1111            ", "2222            ",
                                          "3333            ", "4444            "};
  NumberListInput in;
  in.fileName = "szamok.pin";
  for (int i : NumberItemsToPrint(PrintScope::PageNumbers, 4, {}, {3, 4}))
    in.items.push_back(items[i]);
  const Report report = NumberListReport(in, 60);
  ASSERT_EQ(report.pages.size(), 1u);
  const std::string heading =
      M + Cp("Szabadon hívható számok ") + "szamok.pin              Oldal:1";
  EXPECT_EQ(Texts(report.pages[0]),
            (std::vector<std::string>{heading, "", M + items[2], M + items[3]}));
  EXPECT_TRUE(report.pages[0][0].bold);
  EXPECT_FALSE(report.pages[0][1].bold);
  EXPECT_FALSE(report.pages[0][2].bold);
}

TEST(ReportsTest, EveryPageStartsWithItsHeadingAndNoEntryIsLostOrRepeated) {
  const CodeGrid grid = Codes(400);
  const int height = 60;
  const Report report = CodeListReport(CodeInput(grid, {1, 400}), height);
  ASSERT_GT(report.pages.size(), 3u);
  const std::string h2 = Cp("Sorsz. |Kód      |Jog        ");
  const std::string r2 = "-------+---------+-----------";
  int nextRow = 1;
  for (size_t p = 0; p < report.pages.size(); ++p) {
    const ReportPage& page = report.pages[p];
    EXPECT_LE(static_cast<int>(page.size()), height) << "page " << p + 1;
    size_t body = 8;
    if (p > 0) {
      body = 5;
      ASSERT_GE(page.size(), body);
      EXPECT_EQ(Texts(page).at(1), M + "Oldal:" + std::to_string(p + 1));
      // The later pages' shorter heading stands where the first page's does.
      EXPECT_EQ(Texts(page).at(3), M + h2 + std::string(6, ' ') + G + h2);
      EXPECT_EQ(Texts(page).at(4), M + r2 + std::string(6, ' ') + G + r2);
    }
    ASSERT_EQ((page.size() - body) % 2, 0u) << "an entry and its rule stay together";
    for (size_t i = body; i < page.size(); i += 2) {
      EXPECT_EQ(page[i].text.substr(10, 7), RowNumberText(nextRow));
      EXPECT_EQ(page[i].text.substr(55, 7), RowNumberText(nextRow + 1));
      EXPECT_EQ(page[i + 1].text, kRule);
      nextRow += 2;
    }
  }
  EXPECT_EQ(nextRow, 401);

  // The number list likewise: 100 items on pages of 30 lines.
  NumberListInput in;
  in.fileName = "f";
  for (int i = 0; i < 100; ++i) in.items.push_back(std::to_string(i));
  const Report numbers = NumberListReport(in, 30);
  ASSERT_EQ(numbers.pages.size(), 4u);  // 28 items a page
  int item = 0;
  for (size_t p = 0; p < numbers.pages.size(); ++p) {
    const auto texts = Texts(numbers.pages[p]);
    EXPECT_EQ(texts[0],
              M + Cp("Szabadon hívható számok ") + "f              Oldal:" + std::to_string(p + 1));
    for (size_t i = 2; i < texts.size(); ++i) EXPECT_EQ(texts[i], M + std::to_string(item++));
  }
  EXPECT_EQ(item, 100);
}

TEST(ReportsTest, APageTooShortForItsHeadingStillTakesOneEntryAndTheReportEnds) {
  const CodeGrid grid = Codes(6);
  const Report codes = CodeListReport(CodeInput(grid, {1, 6}), 1);
  ASSERT_EQ(codes.pages.size(), 3u);
  EXPECT_EQ(codes.pages[2].size(), 5u + 2u);

  // Nothing to print: the heading alone.
  const Report none = CodeListReport(CodeInput(grid, {4, 3}), 60);
  ASSERT_EQ(none.pages.size(), 1u);
  EXPECT_EQ(none.pages[0].size(), 8u);
  EXPECT_EQ(NumberListReport({}, 0).pages.size(), 1u);
}

TEST(ReportsTest, TextForms) {
  EXPECT_EQ(ReportText("/home/\xC3\xA9n/\xC5\x91r.pin"), "/home/\xE9n/\xF5r.pin");  // én/őr
  EXPECT_EQ(ReportText("a\xE2\x98\x83"
                       "b"),
            "a?b");                          // a snowman has no place in the code page
  EXPECT_EQ(ReportText("bad\xC3"), "bad?");  // a cut-off sequence

  Report report;
  report.pages = {{{Cp("őrző"), true}, {"", false}}, {{"2", false}}};
  EXPECT_EQ(ReportAsText(report), "őrző\n\n\f2\n");
}

TEST(ReportsTest, ColumnsStandUnderTheirHeadingOnEveryPage) {
  const CodeGrid grid = Codes(400);
  const Report report = CodeListReport(CodeInput(grid, {1, 400}), 60);
  ASSERT_GT(report.pages.size(), 2u);
  const auto bars = [](const std::string& line, char bar) {
    std::vector<size_t> at;
    for (size_t i = 0; i < line.size(); ++i)
      if (line[i] == bar) at.push_back(i);
    return at;
  };
  for (size_t p = 0; p < report.pages.size(); ++p) {
    SCOPED_TRACE("page " + std::to_string(p + 1));
    const auto texts = Texts(report.pages[p]);
    const auto heading = std::find_if(texts.begin(), texts.end(), [](const std::string& t) {
      return t.find("Sorsz.") != std::string::npos;
    });
    ASSERT_NE(heading, texts.end());
    const std::vector<size_t> columns = bars(*heading, '|');
    ASSERT_EQ(columns.size(), 4u);
    EXPECT_EQ(bars(*(heading + 1), '+'), columns) << *(heading + 1);
    for (auto line = heading + 2; line != texts.end(); ++line) {
      const bool rule = line->find('+') != std::string::npos;
      EXPECT_EQ(bars(*line, rule ? '+' : '|'), columns) << *line;
    }
  }
}

TEST(ReportsTest, ControlBytesFromTheDatabasePrintAsEscapes) {
  CodeGrid grid;
  grid.setRowCount(3);
  grid.row(1) = Row("12\x07", "IIII");
  grid.row(2) = Row("345", "INNN");
  CodeListInput in = CodeInput(grid, {1, 2});
  in.site = "Iroda\f2. emelet\\C";
  in.owner = "Kov\x1B[5m\x81";
  in.fileName = "a\nb.pi1";
  const Report codes = CodeListReport(in, 60);
  NumberListInput numbers;
  numbers.fileName = "a\rb.pi1";
  numbers.items = {"06\f80\x7F         "};
  const Report list = NumberListReport(numbers, 60);
  for (const Report* report : {&codes, &list}) {
    ASSERT_EQ(report->pages.size(), 1u);
    for (const ReportLine& line : report->pages[0]) {
      for (char c : line.text)
        EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << line.text;
    }
    EXPECT_EQ(ReportAsText(*report).find('\f'), std::string::npos);
  }
  const auto texts = Texts(codes.pages[0]);
  EXPECT_EQ(texts[0], M + Cp("Személyi kódok:") + "a\\x0Ab.pi1" + G + "2024.03.05. 14:07:00");
  EXPECT_EQ(texts[1], M + Cp("Telepítési hely:") + "Iroda\\x0C2. emelet\\\\C");
  EXPECT_EQ(texts[2], M + Cp("Telepítő       :") + "Kov\\x1B[5m\\x81");
  EXPECT_EQ(texts[8],
            Pair("   0001|12\\x07   |Loc,Nat,Mob,Int,", "   0002|345      |Loc,            "));
  EXPECT_EQ(Texts(list.pages[0])[2], M + "06\\x0C80\\x7F         ");
}

TEST(ReportsTest, DateAndTimeOfTheHeading) {
  const char* zone = std::getenv("TZ");
  const std::string saved = zone ? zone : "";
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(ReportDateTime(1709647620), "2024.03.05. 14:07:00");
  EXPECT_EQ(ReportDateTime(0), "1970.01.01. 00:00:00");
  if (zone) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}
