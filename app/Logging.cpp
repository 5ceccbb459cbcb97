#include "app/Logging.h"

#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <memory>

#include <spdlog/sinks/null_sink.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/spdlog.h>

bool IsDebugLogRequested(const std::string& strCommandLine)
{
    return strCommandLine.find("--log=DEBUG") != std::string::npos;
}

namespace {

std::shared_ptr<spdlog::logger> TryCreate(const std::string& strPath)
{
    try {
        spdlog::drop("logger");
        return spdlog::rotating_logger_mt("logger", strPath, kLogMaxFileSize, kLogMaxFiles, false);
    } catch (const spdlog::spdlog_ex& e) {
        // The log cannot say it itself: tell whoever started the program.
        std::fprintf(stderr, "qvl-utility: %s\n", e.what());
        return nullptr;
    }
}

} // namespace

std::string SetupLogging(const std::string& strCommandLine)
{
    std::string strPath = kLogFileName;
    auto pLogger = TryCreate(strPath);
    if (!pLogger) {
        const std::string strDir = LogFallbackDirectory();
        if (!strDir.empty()) {
            MakeDirectories(strDir);
            strPath = strDir + "/" + kLogFileName;
            pLogger = TryCreate(strPath);
            if (pLogger)
                std::fprintf(stderr, "qvl-utility: logging to %s\n", strPath.c_str());
        }
    }
    if (!pLogger) {
        std::fprintf(stderr, "qvl-utility: no log file can be created; running without a log\n");
        strPath.clear();
        spdlog::drop("logger");
        pLogger = std::make_shared<spdlog::logger>("logger", std::make_shared<spdlog::sinks::null_sink_mt>());
        spdlog::register_logger(pLogger);
    }
    spdlog::set_default_logger(pLogger);
    spdlog::set_level(IsDebugLogRequested(strCommandLine) ? spdlog::level::debug : spdlog::level::info);
    spdlog::flush_on(spdlog::level::err);
    spdlog::flush_every(std::chrono::seconds(3));
    spdlog::info("QVLUtility Ver.{} Start..", kVersionText);
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
