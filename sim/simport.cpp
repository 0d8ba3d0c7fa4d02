#include "sim/simport.h"

#include "sim/blockfile.h"
#include "sim/options.h"
#include "sim/simdevice.h"

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <stdexcept>

namespace lk58::sim {

namespace {

struct SimName {
    std::string id;
    std::vector<std::pair<std::string, std::optional<std::string>>> options;
};

bool IdChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.';
}

std::optional<SimName> ParseName(const std::string& name)
{
    if (!name.starts_with(kSimPortPrefix))
        return std::nullopt;
    const std::string rest = name.substr(std::char_traits<char>::length(kSimPortPrefix));
    const std::size_t mark = rest.find('?');
    SimName parsed{rest.substr(0, mark), {}};
    for (char c : parsed.id)
        if (!IdChar(c))
            return std::nullopt;
    if (mark == std::string::npos)
        return parsed;
    std::size_t at = mark + 1;
    for (;;) {
        const std::size_t end = rest.find('&', at);
        const std::string item = rest.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (item.empty())
            return std::nullopt;
        const std::size_t eq = item.find('=');
        if (eq == std::string::npos)
            parsed.options.emplace_back(item, std::nullopt);
        else
            parsed.options.emplace_back(item.substr(0, eq), item.substr(eq + 1));
        if (end == std::string::npos)
            return parsed;
        at = end + 1;
    }
}

// One simulated converter of the process and its line.
struct Converter {
    std::shared_ptr<MemoryLine> line = std::make_shared<MemoryLine>();
    std::unique_ptr<Tq36Simulator> simulator; // none for a line a test plays
    std::mutex lock;
    std::string file;    // the block file that keeps its settings
    bool unkept = false; // a write changed it that no file keeps
};

class Registry {
public:
    ~Registry()
    {
        for (auto& [id, converter] : converters_)
            if (converter->simulator)
                converter->simulator->Stop();
    }

    // The converter called `id`, made as `played` says when there is none.
    // Throws std::invalid_argument for one that `required` and is not.
    std::shared_ptr<Converter> Get(const std::string& id, bool played, bool required)
    {
        std::lock_guard lock(lock_);
        std::shared_ptr<Converter>& slot = converters_[id];
        if (slot) {
            if (required && played != !slot->simulator)
                throw std::invalid_argument(std::string(kSimPortPrefix) + id + " is in use");
            return slot;
        }
        auto converter = std::make_shared<Converter>();
        if (!played) {
            converter->simulator = std::make_unique<Tq36Simulator>(converter->line->FarEnd());
            Converter* c = converter.get();
            converter->simulator->SetObserver([c](const TrafficEvent& e) {
                if (e.blockChanged)
                    Keep(*c);
            });
            converter->simulator->Start();
        }
        slot = converter;
        return slot;
    }

    std::vector<std::string> Unkept()
    {
        std::lock_guard lock(lock_);
        std::vector<std::string> ports;
        for (auto& [id, converter] : converters_) {
            std::lock_guard converterLock(converter->lock);
            if (converter->unkept)
                ports.push_back(kSimPortPrefix + id);
        }
        return ports;
    }

private:
    // After a write, on the simulator's thread.
    static void Keep(Converter& c)
    {
        std::lock_guard lock(c.lock);
        std::string error;
        if (c.file.empty())
            c.unkept = true;
        else
            SaveBlockFile(c.file, c.simulator->Block(), error);
    }

    std::mutex lock_;
    std::map<std::string, std::shared_ptr<Converter>> converters_;
};

Registry& Converters()
{
    static Registry registry;
    return registry;
}

// Applies the options of the name; false when one is not understood or its
// block file does not read.
bool Prepare(Converter& c, const SimName& name)
{
    ProgramOptions options;
    bool behaviour = false;
    std::optional<std::string> file;
    for (const auto& [key, value] : name.options) {
        std::string error;
        if (key == "file") {
            if (!value || value->empty())
                return false;
            file = value;
        } else if (!ApplyNamedOption(options, key, value ? value->c_str() : nullptr, error)) {
            return false;
        } else {
            behaviour = true;
        }
    }
    if (!c.simulator)
        return !behaviour && !file;
    if (file) {
        std::error_code ec;
        std::string error;
        Tq36Block block = c.simulator->Block();
        if (std::filesystem::exists(*file, ec) ? !LoadBlockFile(*file, block, error)
                                               : !SaveBlockFile(*file, block, error))
            return false;
        c.simulator->SetBlock(block);
        std::lock_guard lock(c.lock);
        c.file = *file;
    }
    if (behaviour) {
        c.simulator->ClearFaults();
        ApplyOptions(options, *c.simulator);
    }
    return true;
}

std::shared_ptr<MemoryLine> FindLine(const std::string& portName)
{
    const std::optional<SimName> name = ParseName(portName);
    if (!name) {
        platform::SetLastError(platform::kErrorNoDevice);
        return nullptr;
    }
    const std::shared_ptr<Converter> converter = Converters().Get(name->id, false, false);
    if (!Prepare(*converter, *name)) {
        platform::SetLastError(platform::kErrorNoDevice);
        return nullptr;
    }
    return converter->line;
}

SimName Require(const std::string& portName)
{
    std::optional<SimName> name = ParseName(portName);
    if (!name || !name->options.empty())
        throw std::invalid_argument("not a simulated port: " + portName);
    return *name;
}

} // namespace

void RegisterSimulatedPorts()
{
    platform::RegisterDeviceKind(kSimPortPrefix, [] { return MakeLineDevice(FindLine); });
}

Tq36Simulator& SimulatedConverter(const std::string& portName)
{
    return *Converters().Get(Require(portName).id, false, true)->simulator;
}

std::shared_ptr<MemoryLine> PlayedLine(const std::string& portName)
{
    return Converters().Get(Require(portName).id, true, true)->line;
}

std::string NewSimulatedPortName()
{
    static std::atomic<int> count{0};
    return std::string(kSimPortPrefix) + "t" + std::to_string(++count);
}

std::vector<std::string> UnkeptChanges()
{
    return Converters().Unkept();
}

} // namespace lk58::sim
