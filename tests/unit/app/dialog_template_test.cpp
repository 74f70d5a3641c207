// The Win32 resource template against the one description the Qt window is built
// from: a control id, rectangle, caption or style changed in one and not the
// other would give the two front ends different dialogs.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/dialog_template.h"
#include "platform/code_page.h"

namespace app::dialog_template {
namespace {

// The .rc's style names and their values.
const std::map<std::string, std::uint32_t> kStyleNames = {
    {"WS_POPUP", kWsPopup},
    {"WS_CAPTION", kWsCaption},
    {"WS_SYSMENU", kWsSysMenu},
    {"WS_DISABLED", kWsDisabled},
    {"WS_BORDER", kWsBorder},
    {"WS_VSCROLL", kWsVScroll},
    {"WS_GROUP", kWsGroup},
    {"WS_TABSTOP", kWsTabStop},
    {"DS_MODALFRAME", kDsModalFrame},
    {"DS_SETFONT", kDsSetFont},
    {"DS_FIXEDSYS", kDsFixedSys},
    {"BS_PUSHBUTTON", kBsPushButton},
    {"BS_DEFPUSHBUTTON", kBsDefPushButton},
    {"BS_GROUPBOX", kBsGroupBox},
    {"SS_LEFT", kSsLeft},
    {"LBS_NOTIFY", kLbsNotify},
    {"LBS_SORT", kLbsSort},
    {"LBS_NOINTEGRALHEIGHT", kLbsNoIntegralHeight},
    {"ES_MULTILINE", kEsMultiline},
    {"ES_AUTOVSCROLL", kEsAutoVScroll},
    {"ES_AUTOHSCROLL", kEsAutoHScroll},
    {"ES_WANTRETURN", kEsWantReturn},
    {"WS_EX_STATICEDGE", kWsExStaticEdge},
};

std::string Trim(const std::string& text) {
    const auto begin = text.find_first_not_of(" \t\r\n");
    const auto end = text.find_last_not_of(" \t\r\n");
    return begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
}

// "A | B | C" as one value; a name the table lacks fails the test.
std::uint32_t Styles(const std::string& expression) {
    std::uint32_t value = 0;
    std::istringstream names(expression);
    for (std::string name; std::getline(names, name, '|');) {
        const auto found = kStyleNames.find(Trim(name));
        EXPECT_NE(found, kStyleNames.end()) << "unknown style " << Trim(name);
        if (found != kStyleNames.end()) {
            value |= found->second;
        }
    }
    return value;
}

// Splits at the commas outside quotes; quoted fields lose their quotes.
std::vector<std::string> Fields(const std::string& text) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    for (auto& field : fields) {
        field = Trim(field);
    }
    return fields;
}

// The resource script's statements: a CONTROL may run over several lines; comment
// lines go.
std::vector<std::string> Statements() {
    std::ifstream in(TAGQUILL_MAIN_DIALOG_RC);
    EXPECT_TRUE(in.good()) << TAGQUILL_MAIN_DIALOG_RC;
    std::vector<std::string> statements;
    for (std::string line; std::getline(in, line);) {
        line = Trim(line);
        if (line.empty() || line.starts_with("//") || line.starts_with("#")) {
            continue;
        }
        const bool continues = !statements.empty() && statements.back().starts_with("CONTROL") &&
                               !line.starts_with("CONTROL") && line != "END";
        if (continues) {
            statements.back() += " " + line;
        } else {
            statements.push_back(line);
        }
    }
    return statements;
}

std::string AfterKeyword(const std::string& statement) {
    return Trim(statement.substr(statement.find(' ') + 1));
}

std::string ClassOf(Kind kind) {
    switch (kind) {
        case Kind::GroupBox:
        case Kind::Button:
            return "Button";
        case Kind::List:
            return "ListBox";
        case Kind::Static:
            return "Static";
        case Kind::Edit:
        case Kind::Notice:
            return "Edit";
    }
    return "";
}

TEST(DialogTemplate, TheResourceScriptIsTheDialogTheQtWindowIsBuiltFrom) {
    std::vector<std::vector<std::string>> controls;
    for (const std::string& statement : Statements()) {
        if (statement.starts_with("LANGUAGE")) {
            EXPECT_EQ(AfterKeyword(statement), "LANG_RUSSIAN, SUBLANG_DEFAULT");
            EXPECT_EQ(kLanguage, 0x0419);
        } else if (statement.find("DIALOGEX") != std::string::npos) {
            const std::vector<std::string> fields =
                Fields(statement.substr(statement.find("DIALOGEX") + 8));
            EXPECT_EQ(std::stoi(statement), kResourceNumber);
            EXPECT_EQ(fields, (std::vector<std::string>{"0", "0", std::to_string(kWidth),
                                                        std::to_string(kHeight)}));
        } else if (statement.starts_with("STYLE")) {
            EXPECT_EQ(Styles(AfterKeyword(statement)), kStyle);
            EXPECT_EQ(kStyle, 0x80C800C8u);
        } else if (statement.starts_with("CAPTION")) {
            EXPECT_EQ(platform::Utf8ToUtf16(Fields(AfterKeyword(statement))[0]), kTitle);
        } else if (statement.starts_with("FONT")) {
            const std::vector<std::string> fields = Fields(AfterKeyword(statement));
            ASSERT_GE(fields.size(), 3u);
            EXPECT_EQ(std::stoi(fields[0]), kFontPoints);
            EXPECT_EQ(platform::Utf8ToUtf16(fields[1]), kFontName);
            EXPECT_EQ(std::stoi(fields[2]), kFontWeight);
        } else if (statement.starts_with("CONTROL")) {
            controls.push_back(Fields(AfterKeyword(statement)));
        }
    }

    ASSERT_EQ(controls.size(), std::size(kControls));
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const std::vector<std::string>& rc = controls[i];
        const Control& control = kControls[i];
        SCOPED_TRACE("control " + std::to_string(i + 1) + " (" + rc[0] + ")");
        ASSERT_GE(rc.size(), 8u);
        EXPECT_EQ(platform::Utf8ToUtf16(rc[0]), control.caption);
        EXPECT_EQ(std::stoi(rc[1]), control.id);
        EXPECT_EQ(rc[2], ClassOf(control.kind));
        EXPECT_EQ(Styles(rc[3]), control.style);
        EXPECT_EQ(std::vector<std::string>(rc.begin() + 4, rc.begin() + 8),
                  (std::vector<std::string>{std::to_string(control.x), std::to_string(control.y),
                                            std::to_string(control.width),
                                            std::to_string(control.height)}));
        EXPECT_EQ(rc.size() > 8 ? Styles(rc[8]) : 0u, control.exStyle);
        // Enter in an edit must press nothing.
        EXPECT_EQ(rc[3].find("BS_DEFPUSHBUTTON"), std::string::npos);
    }
}

}  // namespace
}  // namespace app::dialog_template
