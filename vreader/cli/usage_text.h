#pragma once
// tagquill-vreader --help.

namespace vreader::cli {

#ifdef _WIN32
#define VREADER_STATE_FOLDER_TEXT R"(%TAGQUILL_VREADER_DIR%, else %LOCALAPPDATA%\tagquill\vreader.)"
#else
#define VREADER_STATE_FOLDER_TEXT \
    R"($TAGQUILL_VREADER_DIR, else $XDG_STATE_HOME/tagquill/vreader (~/.local/state/...).)"
#endif

inline constexpr const char* kUsageText =
    R"(Usage: tagquill-vreader [--dir FOLDER] COMMAND [ARGUMENTS]

The virtual reader keeps its readers and cards in a state folder: --dir, else
)" VREADER_STATE_FOLDER_TEXT R"(

Readers
  init                          create the state folder with readers COM1 and USB1
  add-reader READER [--station N]
                                create a reader: COM1..COM8 or USB1..USB8
  remove-reader READER          delete a reader and the cards in its field
  list                          readers, the cards in their fields, and the cards
                                lying outside every field

Cards
  new-card 1k|4k|7b [--uid HEX] [--name NAME] [--reader READER | --out FILE]
                                make a blank card in the transport configuration
                                (keys FFFFFFFFFFFF, access bytes FF078069); it goes
                                to the cards folder, into READER's field, or to FILE
  place CARD READER [--name NAME] [--from FMT]
                                put a card into READER's field: a card of the cards
                                folder moves there; a file elsewhere (.mfd, .bin,
                                .dump, .eml, .json, .mct) is copied in as a raw image
  remove READER [CARD]          take CARD (else every card) out of READER's field
                                into the cards folder
  show CARD                     print an image as sectors: keys, access conditions,
                                data in hex and text. CARD is READER/NAME, a name in
                                the cards folder, or a file
  convert IN OUT [--from FMT] [--to FMT]
                                convert between raw (.mfd/.bin/.dump), eml, json
                                (Proxmark3 "mfc v2") and mct; FMT is raw, eml,
                                json or mct; without it, the extension tells, else
                                the file's content

Faults (FUNCTION is an exported name such as ListTag, ListTags, Login, Read, or *)
  fault READER fail FUNCTION N CODE [TIMES]
                                the Nth call of FUNCTION from now returns CODE, and
                                so do TIMES-1 more (TIMES 0: all that follow)
  fault READER remove FUNCTION N
                                after the Nth call of FUNCTION the card leaves the field
  fault READER block FUNCTION   calls of FUNCTION wait until released
  fault READER release FUNCTION
  fault READER tags COUNT       listings report COUNT tags
  fault READER type-flag-zero [on|off]
  fault READER station-count-zero [on|off]
  fault READER clear            remove every fault and the latency
  latency READER MS             every call takes at least MS milliseconds
  faults READER                 print the reader's faults
  log READER [--clear]          print (or clear) the reader's call log

Exit codes: 0 done, 1 file system error, 2 usage, 3 bad value, 4 no such reader or
card, 5 wrong image size, 6 unreadable dump file or reader state file (list and
faults still show the rest), 7 already exists.
)";

}  // namespace vreader::cli
