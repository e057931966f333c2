#pragma once

#include <QString>

namespace vork::cli {

// Exit status of every command; scripts branch on these, so they never change meaning.
constexpr int exitOk = 0;       // done
constexpr int exitFailed = 1;   // the unit failed, refused or did not answer; no unit found
constexpr int exitUsage = 2;    // bad arguments
constexpr int exitLocal = 3;    // a local failure: bind, send, ICMP not permitted, no interface
constexpr int exitDeclined = 4; // the operator declined a question (or there was no one to ask)
constexpr int exitBadImage = 5; // a firmware image that cannot be read or is no valid Intel HEX file
constexpr int exitInUse = 6;    // set-ip: the new address already answers; nothing was sent

// The table above as help text, for "vork help" and each command's --help.
inline QString exitStatusHelp()
{
    return QStringLiteral("Exit status:\n"
                          "  0  done\n"
                          "  1  the unit failed, refused or did not answer; no unit found\n"
                          "  2  bad arguments\n"
                          "  3  local failure: bind, send, ICMP not permitted, no interface\n"
                          "  4  a question was declined (or stdin is no terminal and --yes is missing)\n"
                          "  5  the image file cannot be read or is not a valid Intel HEX file\n"
                          "  6  set-ip: the new address already answers a ping (nothing was sent)\n");
}

} // namespace vork::cli
