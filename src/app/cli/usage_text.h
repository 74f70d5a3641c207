#pragma once
// tagquill-notice --help.

namespace notice_cli {

inline constexpr const char* kUsageText =
    R"(Usage: tagquill-notice COMMAND [OPTIONS]

Reads and writes the notice that Tagquill keeps on a MIFARE Classic 1K or 4K card,
with the window's own rules: the key text, the code page, the capacity (750 bytes
on a 1K card, 3438 on a 4K card, a line break counting two) and the refusal of
text the card cannot hold.

Commands
  read                  print the notice
  write [TEXT]          store TEXT; without TEXT, the text of --file FILE, or of
                        stdin (one final line break of a file or stdin is dropped;
                        an empty file or stdin is refused: use clear, or write "")
  clear                 empty the notice and overwrite its old text with zeros
  change-key            replace the key of every sector with --new-key (needed;
                        --new-key "" is the factory key); this erases the notice.
                        Run it again with the same keys to finish one that was
                        cut short
  info                  the card's kind and UID, its capacity and the notice's length
  readers               the readers found on this machine

Options
  --reader NAME         COM1..COM8 or USB1..USB8; may be left out when exactly
                        one reader is found
  --key TEXT            the access key text (up to 6 characters; empty, the
                        default, is the blank card's key FFFFFFFFFFFF)
  --key-file FILE       the key text from the first line of FILE ("-": stdin),
                        so the key does not show in the process list
  --new-key TEXT, --new-key-file FILE
                        the new key for change-key
  --file FILE           the notice for write ("-": stdin)
  --code-page N         the card's Windows code page (874, 932, 936, 949, 950,
                        1250..1258) instead of the one of your language
  --wait [SECONDS]      wait for a card to come into the field (at most SECONDS);
                        a number right after --wait is taken as SECONDS
  --each                batch work: wait for a card, run the command, print one
                        line for it, wait for the card to leave, and so on until
                        Ctrl+C (--wait SECONDS: until no card comes for that long)
  --count N             with --each, stop after N cards
  --json                one JSON object per line instead of text (uid and card
                        are null when not known)
  --help, --version

Text is UTF-8 on the terminal and in files; line breaks are stored as CR LF, as
the window stores them. Errors are the window's own texts, in Russian when your
language is Russian.

Exit codes
  0  done (with --each: every card done)
  1  another failure: a file that cannot be read, out of memory
  2  usage: unknown command, option or reader name, missing or conflicting arguments
  3  reader: a reader library is missing, the reader cannot be opened
  4  card: no card, not a MIFARE Classic 1K/4K card, card taken away, card I/O
  5  key: the key does not open the card, or the key text is refused
  6  text refused: characters the code page lacks, longer than the card holds,
     not UTF-8, a NUL character, or an empty file or stdin for write
  7  --wait SECONDS ran out before a card came
  130  Ctrl+C while waiting for a single card
With --each, the exit code is that of the first card that failed. An interrupted
change-key exits with the code of what stopped it (--json: error.cause).
)";

}  // namespace notice_cli
