#pragma once
// What a command-line tool accepts, and the reading of its words against it. CLI11
// does the reading; this sets it up as both tools need it: each option is acted on
// the moment it is read, so that of several mistakes the first on the command line
// is told and a tool that refuses an option given twice sees the first one; the
// tools print their own help and say their own errors; a word is never taken apart
// ("[a,b]" stays one argument, "/x" is no Windows option).

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace command_line {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Syntax {
public:
    Syntax();
    ~Syntax();
    Syntax(const Syntax&) = delete;
    Syntax& operator=(const Syntax&) = delete;

    // `names`: "--reader", or "-h,--help" for a short and a long name.
    void Value(const std::string& names, std::function<void(const std::string&)> take);
    // "--json=x" is a usage error: "--json takes no value".
    void Switch(const std::string& names, std::function<void()> take);
    // "--wait [SECONDS]": the next word is its value when `accepts` it, "--wait=x"
    // always; `take` gets nullopt for none.
    void OptionalValue(const std::string& name, std::function<bool(const std::string&)> accepts,
                       std::function<void(const std::optional<std::string>&)> take);

    // The arguments, in order: the words that are no option and no option's value
    // ("--" ends the options). Throws UsageError for an unknown option and for one
    // missing its value; a `take` may throw as well. Once per Syntax.
    std::vector<std::string> Parse(const std::vector<std::string>& words);
    // How many arguments Parse has read so far, for a `take` to ask.
    std::size_t ArgumentsSoFar() const;

private:
    // The words as CLI11 is to read them.
    std::vector<std::string> Normalised(const std::vector<std::string>& words) const;

    std::unique_ptr<CLI::App> app_;
    std::vector<std::pair<std::string, std::function<bool(const std::string&)>>> accepts_;
    std::vector<std::optional<std::string>> arguments_;
    std::vector<const CLI::Option*> argumentSlots_;
};

}  // namespace command_line
