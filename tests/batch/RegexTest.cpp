#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "batch/VBScriptRegex.h"
#include "batch/cvBatch.h"
#include "batch/cvMatch.h"

using batch::ERegexException;
using batch::Regex;

namespace {

struct ErrorCase {
  const char* pattern;
  uint16_t number;
  const char* message;
};

TEST(Regex, RejectedPatternsCarryTheRuntimeErrorNumberAndText) {
  const ErrorCase cases[] = {
      {"(abc", 5020, "Expected ')' in regular expression"},
      {"[abc", 5019, "Expected ']' in regular expression"},
      {"*abc", 5018, "Unexpected quantifier"},
      {"a|+", 5018, "Unexpected quantifier"},
      {"[z-a]", 5021, "Invalid range in character set"},
      {"abc)", 5017, "Syntax error in regular expression"},
      {"abc\\", 5017, "Syntax error in regular expression"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    // Twice: the second answer comes from the pattern cache and must be the same.
    for (int round = 0; round < 2; ++round) {
      try {
        Regex::Test(c.pattern, 0, "abc");
        ADD_FAILURE() << "no error";
      } catch (const ERegexException& e) {
        EXPECT_EQ(e.Number(), c.number);
        EXPECT_EQ(e.ErrorCode(), 0x800A0000u | c.number);
        EXPECT_STREQ(e.what(), c.message);
      }
    }
  }
}

TEST(Regex, ErrorTableCoversTheRuntimeNumbers) {
  const uint16_t numbers[] = {5,   6,   7,   9,   10,  11,  13,  14,  17,  28,  35,  48,   51,   91,   92,
                              94,  424, 429, 430, 432, 438, 445, 447, 448, 449, 450, 451,  458,  462,  481,
                              500, 502, 503, 504, 505, 506, 507, 5008, 5017, 5018, 5019, 5020, 5021};
  for (uint16_t n : numbers) EXPECT_FALSE(ERegexException::MessageOf(n).empty()) << n;
  EXPECT_EQ(ERegexException::MessageOf(429), "ActiveX component can't create object");
  EXPECT_EQ(ERegexException::MessageOf(438), "Object doesn't support this property or method");
  EXPECT_EQ(ERegexException::MessageOf(13), "Type mismatch");
  EXPECT_TRUE(ERegexException::MessageOf(4).empty());
  // A number outside the table keeps the component's own text.
  EXPECT_STREQ(ERegexException::FromNumber(4, "own text").what(), "own text");
}

struct TestCase {
  const char* pattern;
  uint8_t options;
  std::string subject;
  bool expected;
};

TEST(Regex, TestSearchesWithTheDialectsAnchorsAndOptions) {
  const TestCase cases[] = {
      {"abc", 0, "xxABCxx", false},
      {"abc", Regex::IgnoreCase, "xxABCxx", true},
      {"a$", 0, "ba\n", false},  // "$" only at the very end
      {"a$", Regex::Multiline, "ba\nb", true},
      {"^b", 0, "a\nb", false},
      {"^b", Regex::Multiline, "a\nb", true},
      {"\\u0041\\x42", 0, "xAB", true},
      {"\u00e9t\u00e9", Regex::IgnoreCase, "\u00c9T\u00c9", true},
      {".*\\.doc.?$", Regex::IgnoreCase, "/in/b.DOCX", true},
      {".*\\.doc.?$", Regex::IgnoreCase, "/in/c.doc.bak", false},
      {"[^]", 0, "x", true},
      {"[]", 0, "x", false},
      {"", 0, "", true},
      // Stray bytes (not UTF-8) count as one character each.
      {".*\\.doc$", 0, "/in/\xff\xfe.doc", true},
      {"^/in/..\\.doc$", 0, "/in/\xff\xfe.doc", true},
      {"^.$", 0, "\xc3", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " on " + c.subject);
    EXPECT_EQ(Regex::Test(c.pattern, c.options, c.subject), c.expected);
  }
}

TEST(Regex, ReplaceChangesOnlyTheFirstMatchCaseSensitively) {
  struct Case {
    const char* pattern;
    std::string subject, replacement, expected;
  } cases[] = {
      {"^file:/*", "file:///home/a.doc", "", "home/a.doc"},
      {"^file:/*", "File:///home/a.doc", "", "File:///home/a.doc"},
      {"an", "banana", "o", "boana"},
      {"(a)(n)", "banana", "$2$1", "bnaana"},
      {"n", "banana", "[$&|$`|$']", "ba[n|ba|ana]ana"},
      {"n", "banana", "$$", "ba$ana"},
      {"n", "banana", "$3", "ba$3ana"},
      {"x", "banana", "y", "banana"},
      {"a", "\xff" "a", "b", "\xff" "b"},
      {"^.(.)", "\xff" "\xe9z", "[$1]", "[\xe9]z"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.subject + " / " + c.pattern);
    EXPECT_EQ(Regex::Replace(c.pattern, c.subject, c.replacement), c.expected);
  }
}

TEST(Regex, CatastrophicPatternGivesUpQuicklyAndTheFilterLetsTheNameThrough) {
  const std::string subject = "/home/user/" + std::string(5000, 'a') + "!";
  auto start = std::chrono::steady_clock::now();
  try {
    Regex::Test("(a+)+$", Regex::IgnoreCase, subject);
    ADD_FAILURE() << "the budget was not enforced";
  } catch (const ERegexException& e) {
    EXPECT_EQ(e.Number(), 28);
  }
  batch::TcvMatch match;
  EXPECT_TRUE(match.Matches(subject, "(a+)+$"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST(Regex, ConcurrentCallsGiveTheSameAnswersAsTheCacheChurns) {
  // More distinct patterns than the cache holds, from several threads at once.
  auto work = [] {
    int wrong = 0;
    for (int round = 0; round < 3; ++round)
      for (int i = 0; i < 150; ++i) {
        std::string pattern = "n" + std::to_string(i) + "\\.doc$";
        if (!Regex::Test(pattern, Regex::IgnoreCase, "/x/N" + std::to_string(i) + ".DOC")) ++wrong;
        if (Regex::Test(pattern, 0, "/x/n" + std::to_string(i) + ".docx")) ++wrong;
      }
    return wrong;
  };
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t) threads.emplace_back([&, t] { wrong[t] = work(); });
  for (auto& t : threads) t.join();
  for (int w : wrong) EXPECT_EQ(w, 0);
}

TEST(MaskToRegex, TranslatesMasksStepByStep) {
  const std::pair<const char*, const char*> cases[] = {
      {"*.doc?", ".*\\.doc.?$"},
      {"*.*", ".*\\..*$"},
      {"report?.doc", "report.?\\.doc$"},
      {"a+b(1).doc", "a\\+b\\(1\\)\\.doc$"},
      {"^$[]{}|\\", "\\^\\$\\[\\]\\{\\}|\\$"},
      {"", "$"},
  };
  for (const auto& [mask, expected] : cases) EXPECT_EQ(batch::MaskToRegex(mask), expected) << mask;
}

TEST(TcvMatch, MaskExpressionsAcceptWholeNameEndsOnly) {
  struct Case {
    const char* mask;
    const char* path;
    bool accepted;
  } cases[] = {
      {"*.doc?", "/in/a.doc", true},        {"*.doc?", "/in/b.DOCX", true},
      {"*.doc?", "/in/c.doc.bak", false},   {"*.doc?", "/in/d.docxx", false},
      {"*.*", "/in/x.y/file", true},        {"*.*", "/in/file", false},
      {"report?.doc", "/in/report1.doc", true}, {"report?.doc", "/in/myreport.doc", true},
      {"report?.doc", "/in/report12.doc", false}, {"a+b(1).doc", "/in/a+b(1).doc", true},
      {"a+b(1).doc", "/in/ab(1).doc", false}, {"", "/in/anything", true},
  };
  batch::TcvMatch match;
  for (const auto& c : cases)
    EXPECT_EQ(match.Matches(c.path, batch::MaskToRegex(c.mask)), c.accepted) << c.mask << " " << c.path;
  // A pattern the component rejects lets the name through.
  EXPECT_TRUE(match.Matches("/in/a.doc", "(unclosed"));
}

}  // namespace
