#pragma once
// How tagquill-vreader prints cards: one-line descriptions for listings and the sector
// by sector view of `show`.

#include <cstddef>
#include <string>

#include "control/virtual_field.h"

namespace vreader::cli {

std::string KindName(std::size_t imageSize);
std::string DescribeCard(const CardInfo& card);
// Prints the image as pages (7-byte tag) or sectors with keys, access conditions, data
// in hex and text.
void ShowImage(const Bytes& image, const std::string& title);

}  // namespace vreader::cli
