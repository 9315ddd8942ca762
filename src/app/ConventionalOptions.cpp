#include "app/ConventionalOptions.h"

#include <cctype>
#include <limits>
#include <optional>
#include <ostream>

#include "app/ProductConstants.h"
#include "core/SettingsList.h"

namespace app {

namespace {

const char kUsage[] =
    "Usage: quillex [OPTIONS] [SOURCE]\n"
    "       quillex PROJECT.batch-quillex | DOCUMENT\n"
    "       quillex \"-P:Name=Value;Name=Value...\"\n"
    "       quillex -I[TEXT] | -U\n"
    "\n"
    "Converts word-processor documents (*.doc?) to text files, with LibreOffice Writer.\n"
    "SOURCE is a folder, a document or a folder with a file mask (\"~/in/*.doc?\").\n"
    "Without --headless (or PureConsole=True) the main window opens.\n"
    "\n"
    "SOURCE - reads one document from standard input; -o - writes the texts to standard\n"
    "output (UTF-8 with LF unless --encoding or --eol say otherwise).\n"
    "\n"
    "Options (each sets the project setting named in brackets):\n"
    "  -o, --target DIR        folder that receives the text files (Target); without it\n"
    "                          the texts go beside their documents\n"
    "  -r, --recursive         also convert sub-folders of the source folder (Subdir)\n"
    "  -j, --jobs N            convert N documents at once (ThreadsCount)\n"
    "      --headless          run without any window (PureConsole)\n"
    "      --log FILE          write the results of the run to FILE, a line as each\n"
    "                          document finishes (LogFile); - for standard output\n"
    "      --log-format FORM   text (the default) or json: one JSON object a line (LogFormat)\n"
    "  -q, --quiet             print no progress, failures or summary (Quiet)\n"
    "      --overwrite WHEN    yes: replace existing text files, no: write beside them,\n"
    "                          skip: leave them, newer: replace those older than their\n"
    "                          document (IsOverwrite)\n"
    "      --locale-text       write text in the locale's character set, not UTF-16 (Ansi)\n"
    "      --encoding SET      utf-16 (with a byte-order mark), utf-8 or locale: the\n"
    "                          character set of the text files (Encoding)\n"
    "      --eol crlf|lf       line ends of the text files (LineEnds)\n"
    "      --utf8              UTF-8 with LF line ends: --encoding utf-8 --eol lf\n"
    "      --format FORM       text (the default) or markdown: .md files written by\n"
    "                          LibreOffice's Markdown filter (26.2 or later), with\n"
    "                          headings, lists and tables; always UTF-8 (Format)\n"
    "      --page-breaks       keep page breaks as form feeds (PageBreaks)\n"
    "      --include LIST      add to the text, after the body: notes, headers, comments,\n"
    "                          frames, comma-separated (Include; none by default)\n"
    "      --changes WHICH     tracked changes: show (as the export), accept, reject (Changes)\n"
    "      --hidden keep|drop  text formatted as hidden (HiddenText; keep by default)\n"
    "      --regex RE          convert only paths that also match RE (RegExt)\n"
    "      --skip-hidden       leave out hidden files (SkipHidden)\n"
    "      --timeout MS        milliseconds one document may take, 0 none (ConvertTimeout)\n"
    "      --memory-limit MIB  memory one LibreOffice may hold, 0 none (OfficeMemoryLimit)\n"
    "      --shard K/N         convert only the K-th of N shares of the documents (Shard)\n"
    "      --no-report         open no failure report link after failures (FailureReport)\n"
    "      --max-size SIZE     largest document read, in bytes or with K, M or G (1G unless\n"
    "                          set); a larger one fails as too large (MaxDocumentSize)\n"
    "      --follow-links      follow links inside the source tree that stay inside it;\n"
    "                          without it every link is a failed entry (FollowLinks)\n"
    "      --any-file          convert whatever LibreOffice opens, plain text and unknown\n"
    "                          files too, not only word-processor documents (AnyFile)\n"
    "      --office-user NAME  the account LibreOffice runs as when the run is root's\n"
    "                          (OfficeUser; quillex, or nobody where it is missing)\n"
    "      --watch             after the run, stay up and convert each document written or\n"
    "                          moved into the source, until SIGINT or SIGTERM (Watch)\n"
    "      --set NAME=VALUE    any other setting\n"
    "  -h, --help              show this text\n"
    "  -V, --version           show the version\n"
    "\n"
    "Exit status of a run without a window:\n"
    "  0 every document converted (or nothing to do)   1 some documents failed\n"
    "  2 the run could not be carried out: no source, a project without Target, an office\n"
    "    that could not start (or the command line is wrong)\n"
    "  130, 143 stopped by SIGINT or SIGTERM   141 the reader of -o - went away\n"
    "\n"
    "Every setting, the files the program keeps and examples: man quillex\n";

// The older switches take the whole first argument; nothing after it was ever read.
bool IsOlderSwitch(const std::string& arg) {
  if (arg.size() < 2 || arg[0] != '-') return false;
  switch (arg[1]) {
    case 'I':
    case 'i':
    case 'U':
    case 'u':
    case 'P':
    case 'p':
      return true;
    default:
      return false;
  }
}

bool IsNumber(const std::string& text) {
  return !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos;
}

// A size as typed: digits with an optional K, M or G (powers of 1024); nullopt for anything else
// or for a size too large to count.
std::optional<long long> ReadSize(std::string text) {
  long long unit = 1;
  if (!text.empty()) {
    switch (std::toupper(static_cast<unsigned char>(text.back()))) {
      case 'K': unit = 1LL << 10; break;
      case 'M': unit = 1LL << 20; break;
      case 'G': unit = 1LL << 30; break;
      default: break;
    }
    if (unit != 1) text.pop_back();
  }
  if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const long long count = std::stoll(text);
  if (count > std::numeric_limits<long long>::max() / unit) return std::nullopt;
  return count * unit;
}

struct Option {
  const char* shortName;  // "" when none
  const char* longName;
  const char* setting;  // "" for --set, which names its own
  enum Kind { Flag, FlagOff, Text, Number, Bytes, Overwrite, Assignment, Choice, Utf8 } kind;
};

// The words a Choice option takes, as typed (letter case ignored), and the setting value each
// gives.
struct ChoiceWord {
  const char* setting;
  const char* word;
  const char* value;
};

const ChoiceWord kChoices[] = {
    {"Encoding", "utf-16", "UTF-16"}, {"Encoding", "utf-8", "UTF-8"}, {"Encoding", "locale", "Locale"},
    {"LineEnds", "crlf", "CRLF"},     {"LineEnds", "lf", "LF"},       {"LogFormat", "text", "text"},
    {"LogFormat", "json", "json"},
    {"Changes", "show", "show"},      {"Changes", "accept", "accept"}, {"Changes", "reject", "reject"},
    {"HiddenText", "keep", "keep"},   {"HiddenText", "drop", "drop"},
    {"Format", "text", "Text"},       {"Format", "markdown", "Markdown"},
};

const Option kOptions[] = {
    {"-o", "--target", "Target", Option::Text},
    {"-r", "--recursive", "Subdir", Option::Flag},
    {"-j", "--jobs", "ThreadsCount", Option::Number},
    {"", "--headless", "PureConsole", Option::Flag},
    {"", "--log", "LogFile", Option::Text},
    {"-q", "--quiet", "Quiet", Option::Flag},
    {"", "--overwrite", "IsOverwrite", Option::Overwrite},
    {"", "--locale-text", "Ansi", Option::Flag},
    {"", "--page-breaks", "PageBreaks", Option::Flag},
    {"", "--regex", "RegExt", Option::Text},
    {"", "--skip-hidden", "SkipHidden", Option::Flag},
    {"", "--timeout", "ConvertTimeout", Option::Number},
    {"", "--memory-limit", "OfficeMemoryLimit", Option::Number},
    {"", "--shard", "Shard", Option::Text},
    {"", "--no-report", "FailureReport", Option::FlagOff},
    {"", "--watch", "Watch", Option::Flag},
    {"", "--max-size", "MaxDocumentSize", Option::Bytes},
    {"", "--follow-links", "FollowLinks", Option::Flag},
    {"", "--any-file", "AnyFile", Option::Flag},
    {"", "--office-user", "OfficeUser", Option::Text},
    {"", "--set", "", Option::Assignment},
    {"", "--encoding", "Encoding", Option::Choice},
    {"", "--eol", "LineEnds", Option::Choice},
    {"", "--utf8", "", Option::Utf8},
    {"", "--log-format", "LogFormat", Option::Choice},
    {"", "--include", "Include", Option::Text},
    {"", "--changes", "Changes", Option::Choice},
    {"", "--hidden", "HiddenText", Option::Choice},
    {"", "--format", "Format", Option::Choice},
};

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), std::string::npos, end) == 0;
}

class Reader {
 public:
  explicit Reader(const std::vector<std::string>& args) : args_(args) {}

  Invocation Read() {
    Invocation result;
    bool optionsEnded = false;
    std::string source;
    for (i_ = 0; i_ < args_.size(); ++i_) {
      const std::string& arg = args_[i_];
      if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
        if (!source.empty()) return Error("only one SOURCE may be given, not also '" + arg + "'");
        source = arg;
        continue;
      }
      if (arg == "--") {
        optionsEnded = true;
      } else if (arg == "-h" || arg == "--help") {
        result.action = Invocation::Action::Help;
        return result;
      } else if (arg == "-V" || arg == "--version") {
        result.action = Invocation::Action::Version;
        return result;
      } else if (!ReadOption(arg)) {
        return Error(error_);
      }
    }
    // Options over a project would need rules for which wins; a project file stands alone.
    if (EndsWith(source, std::string(".batch-") + kShortName))
      return Error("a project file is opened alone, without options: quillex " + source);
    if (!source.empty() && !Set("Source", source)) return Error(error_);
    std::string text;
    for (const auto& line : settings_.Lines()) text += (text.empty() ? "" : "\r\n") + line;
    if (!text.empty()) {
      result.commandLine.kind = CommandLine::Kind::Settings;
      result.commandLine.text = text;
    }
    return result;
  }

 private:
  static Invocation Error(const std::string& message) {
    Invocation result;
    result.action = Invocation::Action::UsageError;
    result.message = message;
    return result;
  }

  bool Fail(const std::string& message) {
    error_ = message;
    return false;
  }

  // Settings travel as lines: a line break in a value would smuggle in a setting of its own.
  bool Set(const std::string& name, const std::string& value) {
    if (value.find_first_of("\r\n") != std::string::npos)
      return Fail("a line break cannot be part of a value");
    settings_.SetValue(name, value);
    return true;
  }

  // Accepts "--name VALUE", "--name=VALUE", "-x VALUE" and "-xVALUE".
  bool ReadOption(const std::string& arg) {
    for (const Option& option : kOptions) {
      const std::string longName = option.longName;
      const std::string shortName = option.shortName;
      std::string value;
      bool attached = false;
      if (arg == longName || (!shortName.empty() && arg == shortName)) {
        // the value, if any, follows
      } else if (arg.rfind(longName + "=", 0) == 0) {
        value = arg.substr(longName.size() + 1);
        attached = true;
      } else if (!shortName.empty() && option.kind != Option::Flag && option.kind != Option::FlagOff &&
                 arg.rfind(shortName, 0) == 0) {
        value = arg.substr(shortName.size());
        attached = true;
      } else {
        continue;
      }
      if (option.kind == Option::Flag || option.kind == Option::FlagOff || option.kind == Option::Utf8) {
        if (attached) return Fail("option '" + longName + "' takes no value");
        if (option.kind == Option::Utf8) return Set("Encoding", "UTF-8") && Set("LineEnds", "LF");
        return Set(option.setting, option.kind == Option::Flag ? "True" : "False");
      }
      if (!attached) {
        if (i_ + 1 >= args_.size()) return Fail("option '" + arg + "' needs a value");
        value = args_[++i_];
      }
      return SetFrom(option, value);
    }
    return Fail("unknown option '" + arg + "'");
  }

  bool SetFrom(const Option& option, const std::string& value) {
    const std::string name = option.longName;
    switch (option.kind) {
      case Option::Number:
        if (!IsNumber(value)) return Fail("option '" + name + "' needs a whole number, not '" + value + "'");
        return Set(option.setting, value);
      case Option::Bytes: {
        auto bytes = ReadSize(value);
        if (!bytes) return Fail("option '" + name + "' needs a size such as 500M or 2G, not '" + value + "'");
        return Set(option.setting, std::to_string(*bytes));
      }
      case Option::Overwrite:
        if (core::SameText(value, "yes")) return Set(option.setting, "True");
        if (core::SameText(value, "no")) return Set(option.setting, "False");
        if (core::SameText(value, "skip")) return Set(option.setting, "Skip");
        if (core::SameText(value, "newer")) return Set(option.setting, "Newer");
        return Fail("option '--overwrite' takes yes, no, skip or newer, not '" + value + "'");
      case Option::Choice: {
        std::vector<std::string> words;
        for (const ChoiceWord& choice : kChoices) {
          if (std::string(choice.setting) != option.setting) continue;
          if (core::SameText(value, choice.word)) return Set(option.setting, choice.value);
          words.push_back(choice.word);
        }
        std::string list;
        for (std::size_t i = 0; i < words.size(); ++i)
          list += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
        return Fail("option '" + name + "' takes " + list + ", not '" + value + "'");
      }
      case Option::Assignment: {
        auto eq = value.find('=');
        if (eq == 0 || eq == std::string::npos)
          return Fail("option '--set' takes NAME=VALUE, not '" + value + "'");
        return Set(value.substr(0, eq), value.substr(eq + 1));
      }
      default:
        return Set(option.setting, value);
    }
  }

  const std::vector<std::string>& args_;
  std::size_t i_ = 0;
  core::SettingsList settings_;
  std::string error_;
};

}  // namespace

Invocation ReadArguments(const std::vector<std::string>& arguments) {
  Invocation result;
  if (arguments.empty()) return result;
  const std::string& first = arguments[0];
  if (IsOlderSwitch(first) || (arguments.size() == 1 && (first.size() < 2 || first[0] != '-'))) {
    result.commandLine = ParseCommandLine(first);
    return result;
  }
  return Reader(arguments).Read();
}

int AnswerWithoutRunning(const Invocation& invocation, const std::string& version, const std::string& officeVersion,
                         std::ostream& out, std::ostream& err) {
  switch (invocation.action) {
    case Invocation::Action::Help:
      out << kUsage;
      return 0;
    case Invocation::Action::Version:
      out << "quillex " << version << "\n"
          << (officeVersion.empty() ? std::string("LibreOffice: not found") : "LibreOffice " + officeVersion) << "\n";
      return 0;
    case Invocation::Action::UsageError:
      err << "quillex: " << invocation.message << " (quillex --help lists the options)\n";
      return 2;
    case Invocation::Action::Run:
      break;
  }
  return 2;
}

}  // namespace app
