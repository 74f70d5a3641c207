#pragma once
// tagquill-vreader's exit codes, for scripts.

namespace vreader::cli {

enum Exit {
    kOk = 0,
    kFailure = 1,      // the file system refused
    kUsage = 2,        // unknown command or option, missing arguments
    kBadArgument = 3,  // a value that does not parse (UID hex, function name, number)
    kNotFound = 4,     // no such reader or card
    kBadImage = 5,     // an image of no card's size
    kBadFormat = 6,    // a dump or a reader's state file whose text cannot be read
    kExists = 7,       // the reader or card is there already
};

}  // namespace vreader::cli
