#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// What a dialog procedure works with while its dialog runs: the dialog's items, addressed by
// their control ids, and the way to end the dialog. Item texts are UTF-8 byte strings.
//
// A realisation supplies the text and check-box primitives; the number and fixed-buffer
// reads are built on them here, so every realisation reads numbers and cuts texts alike.
class DialogHost {
public:
    virtual ~DialogHost() = default;

    virtual void setItemText(int itemId, std::string_view text) = 0;
    // The whole text of an item, unlimited.
    virtual std::string itemText(int itemId) const = 0;
    virtual void setChecked(int itemId, bool checked) = 0;
    virtual bool isChecked(int itemId) const = 0;
    // Ends the dialog once the current message has been handled; the dialog run returns
    // result.
    virtual void endDialog(int result) = 0;
    // Gives the item the keyboard focus, as after a value in it was refused.
    virtual void focusItem(int itemId) = 0;

    // Shows value as an unsigned decimal number.
    void setItemUnsigned(int itemId, unsigned value);
    // The item's text read as an unsigned decimal number; see parseUnsigned.
    unsigned readItemUnsigned(int itemId) const;
    // The item's text as read into a buffer of bufferSize bytes with its terminating zero:
    // at most bufferSize - 1 bytes, cut so that no UTF-8 character is split.
    std::string readItemText(int itemId, std::size_t bufferSize) const;

    // Leading and trailing blanks are skipped; then only the digits 0-9 may follow. Text
    // that is not such a number, an empty field included, reads as 0. A number too large
    // for 32 bits reads as 4294967295, so that a limit applied afterwards still limits it.
    static unsigned parseUnsigned(std::string_view text);
    // The length of the longest prefix of text that fits maxBytes bytes without splitting a
    // well-formed UTF-8 sequence. Bytes that are not part of one are kept as single bytes.
    static std::size_t cutLength(std::string_view text, std::size_t maxBytes);
};
