// What the core validation layer wrote to its text file, split into findings, with the
// findings of the allowlist set apart: for the loader tests and the simulator's --validate.
#pragma once

#include <string>
#include <vector>

namespace quenra::sim {

struct ValidationFinding {
    // As the layer writes it: "VALID_ERROR", "VALID_WARNING", "VALID_INFO", ...
    std::string severity;
    // The finding's text, all its lines joined.
    std::string text;
};

// One allowlist entry: every finding whose text contains `match` is allowed.
struct AllowedFinding {
    std::string match;
    std::string reason;
};

class ValidationReport {
public:
    // Reads the layer's file (a missing file reads as no findings) and the allowlist.
    ValidationReport(const std::string& reportPath, const std::string& allowlistPath);

    // Errors and warnings (also those of unknown severity) not allowed by the list.
    const std::vector<ValidationFinding>& Unexpected() const { return unexpected; }
    size_t AllowedCount() const { return allowed; }
    size_t InfoCount() const { return info; }
    // The unexpected findings, one per paragraph, for a failure message.
    std::string Describe() const;

    static std::vector<AllowedFinding> ReadAllowlist(const std::string& path);
    static std::vector<ValidationFinding> ReadFindings(const std::string& path);

private:
    std::vector<ValidationFinding> unexpected;
    size_t allowed = 0;
    size_t info = 0;
};

} // namespace quenra::sim
