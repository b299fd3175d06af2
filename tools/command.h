// The ydr command's subcommands and the conventions they share: exit status 0 on success,
// 1 when the work fails, 2 on bad usage; every message on standard error begins "ydr:".
#pragma once

#include <string>
#include <vector>

namespace ydr::tool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

using Arguments = std::vector<std::string>;

int RunNumstr(const Arguments &args);
extern const char kNumstrUsage[];
int RunGz(const Arguments &args);
extern const char kGzUsage[];
int RunSha1(const Arguments &args);
extern const char kSha1Usage[];
int RunSeed(const Arguments &args);
extern const char kSeedUsage[];
int RunRsa(const Arguments &args);
extern const char kRsaUsage[];
int RunVen(const Arguments &args);
extern const char kVenUsage[];
int RunSend(const Arguments &args);
extern const char kSendUsage[];
int RunArchive(const std::string &command, const Arguments &args);  // pack, unpack, list, test
extern const char kZipUsage[];

// Prints "ydr: <message>" on standard error and returns `status`.
int Complain(int status, const std::string &message);

// Writes to standard error, where the command reports; a line that cannot be written there
// has nowhere else to go, so its result is not looked at.
void Note(const char *format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace ydr::tool
