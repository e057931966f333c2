#pragma once

#include "core/ports.h"

#include <QByteArray>

#include <cstdint>

namespace vork {

// Command bytes of the unit's TCP command port. Letters mean different things
// in different modes, so several names share a value.
enum class Command : std::uint8_t {
    // command level
    Monitor = 'M',
    History = 'H',
    Setup = 'S',
    Checksum = 'X',
    Close = 'C',
    Reboot = 'R',
    FlashErase = 'F',
    FlashAbort = 'x',
    // setup mode
    SetupUpload = 'U',
    SetupDownload = 'D',
    ClockRead = 'T',
    ClockSet = 't',
    EraseSetup = 'c',
    EraseHistory = 'h',
    ErasePersistent = 'p',
    Quit = 'Q',
    // monitor mode
    ForceRead = 'f',
    PhotoEyesOnce = 'P',
    PhotoEyesContinuous = 'p',
    PhotoEyesStop = 'X',
    // WaitForAck forms: '0' sends the history quit (four zero bytes), ' ' sends nothing
    HistoryQuit = '0',
    NoCommand = ' ',
};

constexpr std::uint8_t ACK = 0x06;
constexpr std::uint8_t NAK = 0x15;

// Type bytes that start a unit's reply blocks.
enum class ReplyType : std::uint8_t {
    LiveRecord = 'M',
    HistoryRecord = 'H',
    HistoryBlock = 'h',
    Info = 'I',
    PhotoEyes = 'P',
    PhotoEyesContinuous = 'p',
    Setup = 'S',
    Clock = 'T',
    Version = 'V',
    Checksum = 'X',
};

// Reply block sizes after the type byte.
constexpr int setupRecordSize = 243;
constexpr int clockBlockSize = 8;
constexpr int versionBlockSize = 8;
constexpr int infoBlockMax = 158;
constexpr int checksumBlockSize = 12;

// The four zero bytes that end history mode.
inline QByteArray historyQuitBytes()
{
    return QByteArray(4, '\0');
}

// Sent on connect to units that require a login; never logged.
inline QByteArray authenticationText()
{
    return QByteArrayLiteral("KBmPQD");
}

} // namespace vork
