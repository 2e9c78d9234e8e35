#pragma once

// Resource identifiers of the card, shared by the resource script and the code. Preprocessor
// definitions only: the resource compiler reads this file too.

// The card picture, a JPEG carried as raw data (RCDATA).
#define IDR_CARD_PICTURE 201
