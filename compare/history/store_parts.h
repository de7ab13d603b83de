// What the store's writer is made of: digests, and the compact form a
// round's usage and counts are kept in.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// The SHA-1 of the program at `path` as hex, where it is a regular file not
// changed since `started_at` (ISO 8601 UTC); none otherwise.
Known program_digest(const std::string& path, const std::string& started_at);

// The SHA-1 (hex) of the parts, each kept apart from the next.
std::string digest_of(const std::vector<std::string>& parts);

// What names a machine in the history: its lasting figures.
std::vector<std::string> machine_parts(const MachineRecord& m);

// What tells one session apart from any other: the machine's digest, the
// comparison's label and the build's, the start and every round's values;
// never the name of the file it came from.
std::string session_key(const std::string& machine, const std::string& comparison,
                        const std::string& build, const std::string& started,
                        const std::vector<Round>& rounds);

// A round's usage (both programs') and counts as little-endian doubles, NaN
// for a figure not given; empty where there are none. And back.
std::vector<unsigned char> usage_bytes(const Round& r);
void usage_from_bytes(const std::vector<unsigned char>& bytes, Round& r);
std::vector<unsigned char> counts_bytes(const RoundCounts& counts);
std::optional<RoundCounts> counts_from_bytes(const std::vector<unsigned char>& bytes);

}  // namespace compare
