#pragma once
#include "card/acr120_mifare.h"

// Selects the card for one sequence and releases it on every way out, failures
// included; DisconnectCard never fails.
class CardSelection {
public:
    explicit CardSelection(CACR120Mifare& card) : card_(card) { card_.ConnectCard(); }
    ~CardSelection() { card_.DisconnectCard(); }
    CardSelection(const CardSelection&) = delete;
    CardSelection& operator=(const CardSelection&) = delete;

private:
    CACR120Mifare& card_;
};
