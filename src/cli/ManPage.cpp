#include "cli/ManPage.h"

#include <CLI/CLI.hpp>
#include <string_view>

#include "cli/CommandLine.h"
#include "cli/SearchEngines.h"

namespace tvx::cli {
namespace {

// Text as roff shows it: backslashes and minus signs escaped, no line that
// starts like a request.
std::string Roff(std::string_view text) {
  std::string out;
  bool lineStart = true;
  for (char c : text) {
    if (lineStart && (c == '.' || c == '\'')) out += "\\&";
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
    lineStart = c == '\n';
  }
  return out;
}

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The description as one paragraph (its line breaks only fit a terminal).
std::string Paragraph(std::string_view text) {
  std::string out;
  for (const std::string& line : Lines(text)) out += (out.empty() ? "" : " ") + line;
  return out;
}

std::vector<const CLI::App*> Commands(const CLI::App& app) {
  return app.get_subcommands([](const CLI::App*) { return true; });
}

std::vector<const CLI::Option*> OptionsOf(const CLI::App& app, bool positional) {
  return app.get_options(
      [positional](const CLI::Option* o) { return o->get_positional() == positional; });
}

// "URL..." for an argument that takes many.
std::string ArgumentName(const CLI::Option& o) {
  std::string name = o.get_name(true);
  if (o.get_items_expected_max() > 1) name += "...";
  return name;
}

std::string Synopsis(const CLI::App& command) {
  std::string text = "\\fBtavrinox\\fR [\\fIOPTIONS\\fR] \\fB" + Roff(command.get_name()) + "\\fR";
  if (!OptionsOf(command, false).empty()) text += " [\\fIOPTIONS\\fR]";
  for (const CLI::Option* o : OptionsOf(command, true)) {
    const std::string name = "\\fI" + Roff(ArgumentName(*o)) + "\\fR";
    text += " " + (o->get_required() ? name : "[" + name + "]");
  }
  return text;
}

std::string OptionEntries(const CLI::App& app) {
  std::string out;
  for (bool positional : {true, false}) {
    for (const CLI::Option* o : OptionsOf(app, positional)) {
      out += ".TP\n";
      if (positional) {
        out += "\\fI" + Roff(ArgumentName(*o)) + "\\fR\n";
      } else {
        std::string names;
        for (const std::string& s : o->get_snames())
          names += (names.empty() ? "" : ", ") + ("-" + s);
        for (const std::string& l : o->get_lnames())
          names += (names.empty() ? "" : ", ") + ("--" + l);
        out += "\\fB" + Roff(names) + "\\fR";
        if (!o->get_type_name().empty() && o->get_items_expected_max() > 0 &&
            o->get_type_name() != "BOOLEAN")
          out += " \\fI" + Roff(o->get_type_name()) + "\\fR";
        out += "\n";
      }
      out += Roff(o->get_description()) + "\n";
    }
  }
  return out;
}

std::string Words(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& w : words) out += (out.empty() ? "" : " ") + w;
  return out;
}

}  // namespace

std::string ManPage() {
  Arguments unused;
  const std::unique_ptr<CLI::App> app = MakeParser(unused);
  const std::string description = app->get_description();
  std::string page;
  page += ".TH TAVRINOX 1 \"\" \"" + Roff(VersionText()) + "\" \"User Commands\"\n";
  page += ".SH NAME\n";
  page += "tavrinox \\- " + Roff(description.substr(0, description.find(':'))) + "\n";
  page += ".SH SYNOPSIS\n";
  page += "\\fBtavrinox\\fR [\\fIOPTIONS\\fR] \\fICOMMAND\\fR [\\fIARGUMENTS\\fR]\n.br\n";
  page += "\\fBtavrinox\\fR\n";
  page += ".SH DESCRIPTION\n" + Roff(Paragraph(description)) + "\n";
  page += ".SH OPTIONS\n" + OptionEntries(*app);
  page += ".SH COMMANDS\n";
  for (const CLI::App* command : Commands(*app)) {
    page += ".SS " + Roff(command->get_name()) + "\n";
    page += Synopsis(*command) + "\n.PP\n";
    page += Roff(Paragraph(command->get_description())) + "\n";
    page += OptionEntries(*command);
  }
  for (const HelpSection& section : HelpSections()) {
    page += ".SH " + Roff(section.title) + "\n";
    if (section.kind == HelpSection::Verbatim) page += ".nf\n";
    for (const std::string& line : Lines(section.text)) {
      if (section.kind == HelpSection::Table) {
        const std::size_t gap = line.find("  ");
        page +=
            ".TP\n\\fB" + Roff(line.substr(0, gap)) + "\\fR\n" + Roff(line.substr(gap + 2)) + "\n";
      } else if (section.kind == HelpSection::Verbatim) {
        page += Roff(line) + "\n";
      } else {
        page += ".PP\n" + Roff(line) + "\n";
      }
    }
    if (section.kind == HelpSection::Verbatim) page += ".fi\n";
  }
  return page;
}

std::string BashCompletion() {
  Arguments unused;
  const std::unique_ptr<CLI::App> app = MakeParser(unused);
  auto flagsOf = [](const CLI::App& a) {
    std::vector<std::string> flags;
    for (const CLI::Option* o : OptionsOf(a, false)) {
      for (const std::string& s : o->get_snames()) flags.push_back("-" + s);
      for (const std::string& l : o->get_lnames()) flags.push_back("--" + l);
    }
    return flags;
  };
  std::vector<std::string> commands;
  for (const CLI::App* c : Commands(*app)) commands.push_back(c->get_name());

  std::string script =
      "# bash completion for tavrinox, made from its command line\n"
      "_tavrinox() {\n"
      "  local cur=\"${COMP_WORDS[COMP_CWORD]}\" prev=\"${COMP_WORDS[COMP_CWORD-1]}\"\n"
      "  local command=\"\" i\n"
      "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
      "    case \"${COMP_WORDS[i]}\" in\n"
      "      --dir) ((i++)) ;;\n"
      "      -*) ;;\n"
      "      *) command=\"${COMP_WORDS[i]}\"; break ;;\n"
      "    esac\n"
      "  done\n"
      "  case \"$prev\" in\n"
      "    --dir) compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -d -- \"$cur\")); "
      "return ;;\n"
      "    --cookies) compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -f -- \"$cur\")); "
      "return ;;\n"
      "    --engine) COMPREPLY=($(compgen -W \"" +
      Words(SearchEngineNames()) +
      "\" -- \"$cur\")); return ;;\n"
      "    --types) local head=\"${cur%,*}\"; [[ \"$cur\" == *,* ]] && head+=\",\" || head=\"\"\n"
      "      COMPREPLY=($(compgen -P \"$head\" -W \"" +
      Words({std::begin(kPictureTypeNames), std::end(kPictureTypeNames)}) +
      "\" -- \"${cur##*,}\")); return ;;\n"
      "    --project|--other|--per-host|--exit-domain|--wait|--min-size|--min-kb|--max-kb) return "
      ";;\n"
      "  esac\n"
      "  local words\n"
      "  case \"$command\" in\n"
      "    \"\") words=\"" +
      Words(commands) + " " + Words(flagsOf(*app)) + "\" ;;\n";
  for (const CLI::App* c : Commands(*app)) {
    std::string words = Words(flagsOf(*c)) + " " + Words(flagsOf(*app));
    if (c->get_name() == "list")
      words += " " + Words({std::begin(kListNames), std::end(kListNames)});
    script += "    " + c->get_name() + ") words=\"" + words + "\" ;;\n";
  }
  script +=
      "  esac\n"
      "  COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
      "}\n"
      "complete -F _tavrinox tavrinox\n";
  return script;
}

}  // namespace tvx::cli
