#include "ValidationReport.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quenra::sim {
namespace {
bool StartsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}
} // namespace

std::vector<AllowedFinding> ValidationReport::ReadAllowlist(const std::string& path)
{
    std::ifstream file(path);
    if (!file) {
        throw std::runtime_error("no validation allowlist at " + path);
    }
    std::vector<AllowedFinding> entries;
    std::string line;
    while (std::getline(file, line)) {
        if (Trim(line).empty() || StartsWith(Trim(line), "#")) {
            continue;
        }
        const size_t bar = line.find(" | ");
        if (bar == std::string::npos || Trim(line.substr(bar + 3)).empty()) {
            throw std::runtime_error("allowlist entry without a reason: " + line);
        }
        entries.push_back({Trim(line.substr(0, bar)), Trim(line.substr(bar + 3))});
    }
    return entries;
}

std::vector<ValidationFinding> ValidationReport::ReadFindings(const std::string& path)
{
    // Each finding opens with "[SEVERITY | VUID | command]: text"; the lines after it, up to
    // the next finding, name the objects involved.
    std::vector<ValidationFinding> findings;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        if (StartsWith(line, "[VALID_")) {
            const size_t end = line.find_first_of(" |]");
            findings.push_back({line.substr(1, end - 1), line});
        } else if (!findings.empty()) {
            findings.back().text += "\n" + line;
        }
    }
    return findings;
}

ValidationReport::ValidationReport(const std::string& reportPath, const std::string& allowlistPath)
{
    const std::vector<AllowedFinding> allowlist = ReadAllowlist(allowlistPath);
    for (const ValidationFinding& finding : ReadFindings(reportPath)) {
        if (finding.severity == "VALID_INFO" || finding.severity == "VALID_DEBUG") {
            ++info;
            continue;
        }
        const bool listed = std::any_of(allowlist.begin(), allowlist.end(), [&](const AllowedFinding& entry) {
            return finding.text.find(entry.match) != std::string::npos;
        });
        if (listed) {
            ++allowed;
        } else {
            unexpected.push_back(finding);
        }
    }
}

std::string ValidationReport::Describe() const
{
    std::ostringstream out;
    for (const ValidationFinding& finding : unexpected) {
        out << finding.text << "\n\n";
    }
    return out.str();
}

} // namespace quenra::sim
