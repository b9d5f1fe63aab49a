#pragma once
// Small file helpers for tests that work on real files in a private folder.

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace mv::test {

// A fresh folder under the system's temporary folder, removed with its content.
class TTempDir {
public:
    TTempDir()
    {
        std::random_device rd;
        FPath = std::filesystem::temp_directory_path() /
                ("mvtest-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
        std::filesystem::create_directories(FPath);
    }
    ~TTempDir()
    {
        std::error_code ec;
        std::filesystem::permissions(FPath, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(FPath, ec);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::filesystem::path& Path() const { return FPath; }
    std::string File(const std::string& name) const { return (FPath / name).string(); }

private:
    std::filesystem::path FPath;
};

inline std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline unsigned FileMode(const std::string& path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// Runs `body` in a child process as the unprivileged user 65534 when the
// test runs as root (who may write anywhere, so a folder's permissions would
// prove nothing), and returns the text it gives back; "<not run unprivileged>"
// when the privileges could not be dropped.
inline std::string RunUnprivileged(const std::function<std::string()>& body)
{
    int pipeFd[2];
    if (::pipe(pipeFd) != 0)
        return "<not run unprivileged>";
    pid_t pid = ::fork();
    if (pid < 0)
        return "<not run unprivileged>";
    if (pid == 0) {
        ::close(pipeFd[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        const std::string result = body();
        (void)!::write(pipeFd[1], result.data(), result.size());
        ::_exit(0);
    }
    ::close(pipeFd[1]);
    std::string text;
    char buf[512];
    for (ssize_t n; (n = ::read(pipeFd[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<std::size_t>(n));
    ::close(pipeFd[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "<not run unprivileged>";
    return text;
}

} // namespace mv::test
