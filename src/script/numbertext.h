// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include <QString>
#include <QStringView>

// Numbers as the program reads them from, and writes them into, its boxes and captions.
namespace NumberText {

/// Reads the number a text begins with: blanks, tabs and line feeds are skipped anywhere; an
/// optional sign, digits, a fraction after a period (whatever the locale) and an exponent, or
/// &H/&O for a hexadecimal/octal whole number. A text that does not begin with a number reads
/// as 0. Too large a value reads as +/-infinity; the result is never NaN.
double read(QStringView text);

/// Rounds to the nearest integer (halves to even) and clamps into -32768..32767.
std::int16_t toInt16(double value);

/// read() then toInt16(): what a coordinate box stores.
inline std::int16_t readInt16(QStringView text)
{
    return toInt16(read(text));
}

/// The decimal form: digits, "-" in front of a negative value, nothing else.
QString decimal(std::int64_t value);

} // namespace NumberText
