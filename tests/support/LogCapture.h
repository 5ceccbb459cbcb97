#pragma once
// Installs an in-memory logger named "logger" as spdlog's default logger for
// the lifetime of the object, so tests can assert on the lines the code logs.
// Lines are kept as "[level] message".

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

class MemorySink : public spdlog::sinks::base_sink<std::mutex> {
public:
    std::vector<std::string> Lines()
    {
        std::lock_guard<std::mutex> lock(this->mutex_);
        return m_lines;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(this->mutex_);
        m_lines.clear();
    }

protected:
    void sink_it_(const spdlog::details::log_msg& msg) override
    {
        std::string strLine = "[";
        strLine += std::string(spdlog::level::to_string_view(msg.level).data(),
                               spdlog::level::to_string_view(msg.level).size());
        strLine += "] ";
        strLine.append(msg.payload.data(), msg.payload.size());
        m_lines.push_back(std::move(strLine));
    }
    void flush_() override { }

private:
    std::vector<std::string> m_lines;
};

class LogCapture {
public:
    explicit LogCapture(spdlog::level::level_enum level = spdlog::level::debug)
        : m_pSink(std::make_shared<MemorySink>())
    {
        spdlog::drop("logger");
        auto pLogger = std::make_shared<spdlog::logger>("logger", m_pSink);
        spdlog::set_default_logger(pLogger);
        spdlog::set_level(level);
    }
    ~LogCapture()
    {
        spdlog::drop("logger");
        spdlog::set_default_logger(std::make_shared<spdlog::logger>("logger"));
    }

    std::vector<std::string> Lines() { return m_pSink->Lines(); }
    void Clear() { m_pSink->Clear(); }

    // True when some line is exactly "[level] text".
    bool Has(const std::string& strLine)
    {
        const auto lines = Lines();
        return std::find(lines.begin(), lines.end(), strLine) != lines.end();
    }
    // Number of lines holding the text anywhere.
    size_t Count(const std::string& strText)
    {
        const auto lines = Lines();
        return static_cast<size_t>(std::count_if(
            lines.begin(), lines.end(), [&](const std::string& s) { return s.find(strText) != std::string::npos; }));
    }

private:
    std::shared_ptr<MemorySink> m_pSink;
};
