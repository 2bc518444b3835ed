// Runs gnuplot on a picture's script as a child the caller answers for: a process group of its own,
// ended with all it started at its time limit, always reaped; what it drew is then written whole.
#include "FileQuality/QualityPicture.h"

#include "Platform/ProcessGroup.h"
#include "Platform/ReplaceFile.h"
#include "Platform/UniqueFd.h"
#include "Platform/WriteAll.h"

#include <fmt/format.h>

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace FileQuality
{

namespace
{

constexpr const char* kGnuplot = "gnuplot";
constexpr std::chrono::milliseconds kPoll{20};
constexpr std::chrono::milliseconds kEndWait{2000};
constexpr unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kMostErrorText = 200;

// A private directory for the script, the picture and gnuplot's complaints, removed with the object.
class WorkDirectory
{
public:
    WorkDirectory()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern =
            std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vivozo-qc-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr)
            m_path = pattern;
    }
    ~WorkDirectory()
    {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    WorkDirectory(const WorkDirectory&) = delete;
    WorkDirectory& operator=(const WorkDirectory&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The first line of what gnuplot said, shortened.
std::string complaint(const std::string& errorPath)
{
    std::string text = readAll(errorPath);
    text = text.substr(0, std::min(text.find('\n'), kMostErrorText));
    return text.empty() ? std::string() : ": " + text;
}

} // namespace

bool drawPicture(const std::string& script, const std::string& pngPath, std::chrono::milliseconds limit,
                 std::string& why)
{
    const WorkDirectory work;
    if (work.path().empty())
    {
        why = fmt::format("no room for gnuplot's files: {}", std::strerror(errno));
        return false;
    }
    const std::string scriptPath = work.path() + "/picture.gp";
    const std::string picturePath = work.path() + "/picture.png";
    const std::string errorPath = work.path() + "/gnuplot.err";
    const Platform::UniqueFd scriptOut(
        ::open(scriptPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!scriptOut || !Platform::writeAll(scriptOut.get(), script.data(), script.size()))
    {
        why = fmt::format("can not write gnuplot's script: {}", std::strerror(errno));
        return false;
    }
    const Platform::UniqueFd scriptIn(::open(scriptPath.c_str(), O_RDONLY | O_CLOEXEC));
    const Platform::UniqueFd picture(
        ::open(picturePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    const Platform::UniqueFd errors(::open(errorPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    int error = errno;
    Platform::ProcessGroup gnuplot;
    if (scriptIn && picture && errors)
        // The script on its standard input, the picture on its standard output.
        gnuplot =
            Platform::startGroupLeader({kGnuplot}, {scriptIn.get(), picture.get(), errors.get()}, error);
    if (!gnuplot.running())
    {
        why = fmt::format("gnuplot could not be started: {}", std::strerror(error));
        return false;
    }
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!gnuplot.ended() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(kPoll);
    if (gnuplot.running())
    {
        gnuplot.end(kEndWait);
        why = fmt::format("gnuplot ran past its time limit of {} s and was ended",
                          std::chrono::duration_cast<std::chrono::seconds>(limit).count());
        return false;
    }
    if (gnuplot.exitCode() != 0)
    {
        why = gnuplot.exitCode() == 127 ? std::string("gnuplot was not found")
              : gnuplot.exitCode() < 0  ? std::string("gnuplot was ended by a signal")
                                        : fmt::format("gnuplot ended with exit status {}{}",
                                                      gnuplot.exitCode(), complaint(errorPath));
        return false;
    }
    const std::string png = readAll(picturePath);
    if (png.size() < sizeof kPngSignature ||
        std::memcmp(png.data(), kPngSignature, sizeof kPngSignature) != 0)
    {
        why = "gnuplot drew no PNG" + complaint(errorPath);
        return false;
    }
    if ((error = Platform::replaceFile(pngPath, png)) != 0)
    {
        why = fmt::format("can not write {}: {}", pngPath, std::strerror(error));
        return false;
    }
    return true;
}

} // namespace FileQuality
