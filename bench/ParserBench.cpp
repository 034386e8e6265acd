// Throughput of the settings file's markup parser: the settings document itself, which is
// read once at start-up, and a 10 MB synthetic document with every construct the parser
// handles, for MB/s.
#include "settings/SettingsFile.h"
#include "settings/XmlElement.h"
#include "settings/XmlHandler.h"
#include "settings/XmlParser.h"
#include "tests/support/HeldSettings.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <istream>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Reads a string in place, so the benchmark measures parsing and not copying.
class MemoryBuffer : public std::streambuf {
public:
    explicit MemoryBuffer(const std::string& text) {
        char* begin = const_cast<char*>(text.data());
        setg(begin, begin, begin + text.size());
    }
};

// Touches what a real receiver would: every attribute of every element, and the text.
class CountingHandler : public XmlHandler {
public:
    explicit CountingHandler(std::size_t& total)
        : total(total) {}

    void startElement(const XmlElement* element) override {
        for (auto it = element->begin(); it != element->end(); ++it) {
            total += it->first.size() + it->second.size();
        }
    }
    void characters(std::string_view text) override { total += text.size(); }
    void error(std::string_view) override { ++total; }

private:
    std::size_t& total;
};

// The settings file as the program writes it with its defaults.
std::string settingsDocument() {
    HeldSettings held;
    held.deviceName = "Test Source";
    return settingsFileText(held.holders());
}

std::string syntheticDocument(std::size_t sizeBytes) {
    std::string document = "<?xml version=\"1.0\"?>\r\n<log>\r\n";
    for (std::size_t i = 0; document.size() < sizeBytes; ++i) {
        const std::string n = std::to_string(i);
        document += "  <entry id='" + n +
                    "' camera=\"front door\" quality='70'>\r\n"
                    "    Frame " +
                    n +
                    " stored &amp; uploaded to public_html/image.jpg\r\n"
                    "    <!-- retried once -->\r\n"
                    "    <size width='640' height='480'/>\r\n"
                    "    <![CDATA[ raw <bytes> ]]>\r\n"
                    "  </entry>\r\n";
    }
    return document + "</log>\r\n";
}

void parse(const std::string& document, std::size_t& total) {
    MemoryBuffer buffer(document);
    std::istream input(&buffer);
    XmlParser parser(input);
    parser.setHandler(std::make_unique<CountingHandler>(total));
    parser.parse();
}

void settingsFile(benchmark::State& state) {
    const std::string document = settingsDocument();
    std::size_t total = 0;
    for (auto _ : state) {
        parse(document, total);
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * document.size()));
}
BENCHMARK(settingsFile);

void synthetic10MB(benchmark::State& state) {
    const std::string document = syntheticDocument(10u << 20);
    std::size_t total = 0;
    for (auto _ : state) {
        parse(document, total);
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * document.size()));
}
BENCHMARK(synthetic10MB)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
