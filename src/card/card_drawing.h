#pragma once

// The loyalty card as the card tab shows it: the card picture area with the four labels on it.
// On screen the window keeps real label controls over its picture area; the printer gets the
// card drawn by drawCard, straight into its device context.

#include "card/card_preview.h"
#include "ui/gdi.h"

namespace quorva {

// The picture area: the card picture is shown unscaled from its top-left corner, clipped to
// this size (a 1012 x 638 picture loses its last column and its last four rows).
inline constexpr SIZE kCardAreaSize{1011, 634};

// The labels' top-left corners, relative to the picture area.
inline constexpr POINT kCustomerAt{235, 430};
inline constexpr POINT kChassisAt{235, 498};
inline constexpr POINT kRegistrationAt{235, 558};
inline constexpr POINT kValidityAt{695, 558};

// The labels' text colour, on an opaque white background.
inline constexpr COLORREF kCardLabelColour = RGB(0, 0, 160);
inline constexpr COLORREF kCardLabelBackground = RGB(255, 255, 255);

// The labels' font: Cambria, regular, character height 53 pixels, default character set.
Font makeCardLabelFont();

// Draws the card area (picture and labels, each label one line, left-aligned, as wide as its
// text) into `destination`, stretched independently in x and y to fill it. White where the
// picture does not reach.
void drawCard(HDC dc, const RECT& destination, HBITMAP picture, const CardLabels& labels);

} // namespace quorva
