// tagquill-vpcd-card IMAGE [PORT]: lays the card image in the field of the vpcd
// reader until Enter is pressed, then writes the card back to the file.

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "pcsc/card/vpcd_card.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: tagquill-vpcd-card IMAGE [PORT]\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const vpcd::Bytes image{std::istreambuf_iterator<char>(in), {}};
    if (image.size() != 1024 && image.size() != 4096) {
        std::cerr << argv[1] << ": not a 1K or 4K card image\n";
        return 5;
    }
    const auto port = argc == 3 ? std::atoi(argv[2]) : vpcd::kDefaultPort;
    vpcd::VpcdCard card(static_cast<std::uint16_t>(port));
    card.Place(image);
    std::cout << "The card is in the vpcd reader's field; press Enter to take it away.\n";
    std::string line;
    std::getline(std::cin, line);
    card.TakeAway();
    const vpcd::Bytes written = card.Image();
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(written.data()),
              static_cast<std::streamsize>(written.size()));
    return out ? 0 : 1;
}
