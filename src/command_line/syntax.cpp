#include "command_line/syntax.h"

#include <CLI/CLI.hpp>
#include <algorithm>

namespace command_line {

namespace {

// CLI11 hands an option of no value "true" when it stands bare and the text after
// its '=' otherwise. Normalised doubles that '=', so "--json=true" cannot pass for
// "--json", nor "--wait=" for "--wait".
constexpr char kAttached = '=';

// The name an error says: "--help" of "-h,--help".
std::string LastName(const std::string& names) {
    return names.substr(names.rfind(',') + 1);
}

}  // namespace

Syntax::Syntax() : app_(std::make_unique<CLI::App>()) {
    app_->set_help_flag();
    app_->allow_extras();  // Parse tells them
    app_->allow_windows_style_options(false);
}

Syntax::~Syntax() = default;

void Syntax::Value(const std::string& names, std::function<void(const std::string&)> take) {
    app_->add_option(names,
                     [take](const CLI::results_t& values) {
                         take(values.front());
                         return true;
                     })
        ->trigger_on_parse();
}

void Syntax::Switch(const std::string& names, std::function<void()> take) {
    app_->add_option(names,
                     [take, name = LastName(names)](const CLI::results_t& values) {
                         if (values.front().starts_with(kAttached)) {
                             throw UsageError(name + " takes no value");
                         }
                         take();
                         return true;
                     })
        ->expected(0)
        ->trigger_on_parse();
}

void Syntax::OptionalValue(const std::string& name, std::function<bool(const std::string&)> accepts,
                           std::function<void(const std::optional<std::string>&)> take) {
    accepts_.emplace_back(name, std::move(accepts));
    app_->add_option(
            name,
            [take](const CLI::results_t& values) {
                const std::string& value = values.front();
                take(value.starts_with(kAttached) ? std::optional(value.substr(1)) : std::nullopt);
                return true;
            })
        ->expected(0)
        ->trigger_on_parse();
}

std::vector<std::string> Syntax::Normalised(const std::vector<std::string>& words) const {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--") {
            out.insert(out.end(), words.begin() + static_cast<std::ptrdiff_t>(i), words.end());
            break;
        }
        const std::size_t equals = word.find('=');
        const std::string name = word.substr(0, equals);
        const CLI::Option* option =
            name.starts_with("--") ? app_->get_option_no_throw(name) : nullptr;
        const bool attached = equals != std::string::npos;
        const bool more = i + 1 < words.size();
        if (option == nullptr) {
            out.push_back(word);
        } else if (option->get_expected_max() == 0) {
            const auto accepts =
                std::find_if(accepts_.begin(), accepts_.end(),
                             [&](const auto& entry) { return entry.first == name; });
            if (attached) {
                out.push_back(name + "=" + kAttached + word.substr(equals + 1));
            } else if (accepts != accepts_.end() && more && accepts->second(words[i + 1])) {
                out.push_back(name + "=" + kAttached + words[++i]);
            } else {
                out.push_back(word);
            }
        } else if (attached) {
            // "--key=" is an empty key; CLI11 would take the next word for it.
            out.push_back(name);
            out.push_back(word.substr(equals + 1));
        } else {
            out.push_back(word);
            if (more) {
                out.push_back(words[++i]);  // the value, whatever it looks like
            }
        }
    }
    return out;
}

std::vector<std::string> Syntax::Parse(const std::vector<std::string>& words) {
    // A slot of one word for each word that may be an argument: a list would split
    // "[a,b]" into two.
    arguments_.assign(words.size(), std::nullopt);
    for (std::size_t i = 0; i < words.size(); ++i) {
        argumentSlots_.push_back(app_->add_option("argument" + std::to_string(i), arguments_[i]));
    }
    const std::vector<std::string> normalised = Normalised(words);
    try {
        app_->parse(std::vector<std::string>(normalised.rbegin(), normalised.rend()));
    } catch (const CLI::ArgumentMismatch&) {
        // An option takes the word after it whatever it is: only the last can lack one.
        throw UsageError(normalised.back() + " needs a value");
    } catch (const CLI::ParseError& error) {
        throw UsageError(error.what());
    }
    // Every argument has a slot: what CLI11 placed nowhere is the "--" that ends the
    // options, and options it does not know.
    for (const std::string& word : app_->remaining()) {
        if (word != "--") {
            throw UsageError("unknown option " + word.substr(0, word.find('=')));
        }
    }
    std::vector<std::string> arguments;
    for (const auto& argument : arguments_) {
        if (argument) {
            arguments.push_back(*argument);
        }
    }
    return arguments;
}

std::size_t Syntax::ArgumentsSoFar() const {
    return static_cast<std::size_t>(
        std::count_if(argumentSlots_.begin(), argumentSlots_.end(),
                      [](const CLI::Option* slot) { return slot->count() > 0; }));
}

}  // namespace command_line
