#include "core/Logging.h"

#include "core/Log.h"
#include "core/LogFileAccess.h"
#include "core/LogText.h"

#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <memory>

// Wide file names (Windows) are formatted as wide text when rotating.
#include <fmt/xchar.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/spdlog.h>

bool IsDebugLogRequested(const std::string& strCommandLine)
{
    return strCommandLine.find("--log=DEBUG") != std::string::npos;
}

namespace {

// The rotating sink's file hooks: the file is prepared privately before each
// open (the first one and the one after every rotation) and checked after
// it. At the first open a refusal throws, so the caller can pick another
// folder; at a rotation a link planted at the path is removed instead, and a
// stream that still is not the file goes to the null device.
// The sink always reopens the same path, held here as UTF-8 text.
spdlog::file_event_handlers PrivateFileHandlers(const std::string& strPath)
{
    auto pOpened = std::make_shared<bool>(false);
    spdlog::file_event_handlers handlers;
    handlers.before_open = [pOpened, strPath](const spdlog::filename_t&) {
        std::string strReason;
        if (!PrepareLogFile(strPath, *pOpened, strReason))
            throw spdlog::spdlog_ex(strPath + " " + strReason);
    };
    handlers.after_open = [pOpened, strPath](const spdlog::filename_t&, std::FILE* pFile) {
        if (!IsLogFileAt(strPath, pFile)) {
            DivertLogStream(pFile);
            throw spdlog::spdlog_ex(strPath + " was replaced while it was opened");
        }
        *pOpened = true;
    };
    return handlers;
}

// The logger on strPath, or nullptr with the reason.
std::shared_ptr<spdlog::logger> TryCreate(const std::string& strPath, std::string& strReason)
{
    try {
        spdlog::drop("logger");
        return spdlog::rotating_logger_mt("logger", LogFileName(strPath), kLogMaxFileSize, kLogMaxFiles, false,
                                          PrivateFileHandlers(strPath));
    } catch (const spdlog::spdlog_ex& e) {
        strReason = e.what();
        return nullptr;
    }
}

} // namespace

std::string SetupLogging(const std::string& strCommandLine)
{
    // The log cannot tell where it went: one line on stderr does, when it is
    // not the current directory.
    std::string strPath = kLogFileName;
    std::string strReason;
    auto pLogger = TryCreate(strPath, strReason);
    if (!pLogger) {
        const std::string strDir = LogFallbackDirectory();
        std::string strFallbackReason;
        if (!strDir.empty()) {
            MakeDirectories(strDir);
            strPath = strDir + "/" + kLogFileName;
            pLogger = TryCreate(strPath, strFallbackReason);
        }
        if (pLogger)
            std::fprintf(stderr, "qvl-utility: cannot log in the current directory (%s); logging to %s\n",
                         strReason.c_str(), strPath.c_str());
        else
            std::fprintf(stderr, "qvl-utility: no log file can be created (%s); running without a log\n",
                         strReason.c_str());
    }
    if (!pLogger) {
        strPath.clear();
        spdlog::drop("logger");
        pLogger = std::make_shared<spdlog::logger>("logger", std::make_shared<spdlog::sinks::null_sink_mt>());
        spdlog::register_logger(pLogger);
    }
    spdlog::set_default_logger(pLogger);
    spdlog::set_level(IsDebugLogRequested(strCommandLine) ? spdlog::level::debug : spdlog::level::info);
    spdlog::flush_on(spdlog::level::err);
    spdlog::flush_every(std::chrono::seconds(3));
    LogInfo(logtext::kStart, kVersionText);
    return strPath;
}

std::string JoinCommandLine(int argc, char** argv)
{
    std::string strLine;
    for (int i = 0; i < argc; ++i) {
        if (i)
            strLine += ' ';
        strLine += argv[i];
    }
    return strLine;
}
