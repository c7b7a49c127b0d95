#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace velkor::testing {

// A fresh folder under /tmp for one test, removed with everything in it
// when the test ends.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix = "velkor") {
        std::string pattern = "/tmp/" + prefix + "-XXXXXX";
        if (mkdtemp(pattern.data())) m_path = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

}  // namespace velkor::testing
