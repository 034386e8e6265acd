// Throughput of the settings file's markup parser: the settings document itself, which is
// read once at start-up, and a 10 MB synthetic document with every construct the parser
// handles, for MB/s.
#include "settings/XmlElement.h"
#include "settings/XmlHandler.h"
#include "settings/XmlParser.h"

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

std::string settingsDocument() {
    const auto key = [](const char* name, const char* value) {
        return std::string("    ") + name + " = '" + value + "'";
    };
    const std::vector<std::string> lines = {
        "<kavriwebcam version='1.2.99'>",
        "  <program",
        key("savesettingsonexit", "1"),
        key("windowzoom", "3"),
        key("windowpositionX", "0"),
        key("windowpositionY", "0"),
        "  >",
        "  </program>",
        "  <capture",
        key("fps", "30"),
        key("maxfps", "30"),
        key("devicename", "Test Source"),
        key("devicenumber", "0"),
        "  >",
        "  </capture>",
        "  <image",
        key("jpegfile", "image.jpg"),
        key("jpegquality", "70"),
        key("update", "5"),
        key("datetimeoverlay", "1"),
        key("textoverlay", ""),
        key("textcolor", "53771"),
        key("backcolor", "0"),
        "  >",
        "  </image>",
        "  <network",
        key("host", "ftp.example.com"),
        key("port", "21"),
        key("saveto", "public_html/image.jpg"),
        key("user", "theusername"),
        key("password", "lotryi`rcnr"),
        key("active", "1"),
        key("stoponerror", "0"),
        key("usepassive", "1"),
        "  >",
        "  </network>",
        "</kavriwebcam>",
    };
    std::string document;
    for (const std::string& line : lines) {
        document += line + "\r\n";
    }
    return document;
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
