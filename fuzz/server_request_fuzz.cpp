// Fuzzes one request line of the agent servers, in memory, against an
// in-process device that answers every operation: the first byte chooses the
// JSON-RPC server (even) or the MCP server (odd), the rest is the line.
//
// Besides crashes and sanitizer reports it stops on a broken promise: every
// line is answered with exactly one compact JSON reply line (or, for an MCP
// client notification, none), whose id follows the id rule.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/clock.hpp"
#include "core/json.hpp"
#include "core/writer.hpp"
#include "devices/device.hpp"
#include "server/json_rpc.hpp"
#include "server/mcp.hpp"

namespace {

// Every operation succeeds; snapshots show a small sign-in screen.
class QuietDevice final : public vyx::Device {
 public:
  vyx::Status launch() override { return {}; }
  vyx::Status stop() override { return {}; }
  vyx::Status clearState() override { return {}; }
  vyx::Status install(std::string_view) override { return {}; }
  vyx::Status openLink(std::string_view) override { return {}; }
  vyx::Status typeText(std::string_view) override { return {}; }
  vyx::Status eraseText(uint32_t) override { return {}; }
  vyx::Status pressBack() override { return {}; }
  vyx::Status hideKeyboard() override { return {}; }
  vyx::Status swipe(int32_t, int32_t, int32_t, int32_t, uint32_t) override { return {}; }
  vyx::Status settle() override { return {}; }
  vyx::Status tapPoint(int32_t, int32_t) override { return {}; }
  vyx::Expected<vyx::ObservationSnapshot> snapshot(vyx::TraceWriter*) override {
    vyx::ObservationSnapshot s;
    s.id = "snapshot-1";
    s.viewport = {1080, 2400};
    vyx::UiNode field;
    field.stableId = "n1";
    field.className = "android.widget.EditText";
    field.resourceId = "com.example.app:id/email";
    field.bounds = {40, 80, 1000, 100};
    field.visible = field.enabled = true;
    vyx::UiNode button = field;
    button.stableId = "n2";
    button.className = "android.widget.Button";
    button.resourceId.reset();
    button.text = "Sign in";
    button.bounds = {40, 200, 1000, 120};
    s.nodes = {field, button};
    return s;
  }
  vyx::Expected<std::vector<vyx::DeviceInfo>> listDevices() override {
    return std::vector<vyx::DeviceInfo>{{"emulator-5554", "device"}};
  }
};

// Time moves on in giant steps, so a wait of any length ends after a few
// polls instead of hanging the fuzzer.
class LeapingClock final : public vyx::Clock {
 public:
  int64_t monotonicMs() override { return now_; }
  int64_t wallClockMs() override { return now_; }
  void sleepMs(uint64_t) override { now_ = vyx::saturatingAdd(now_, int64_t{1} << 61); }

 private:
  int64_t now_ = 1700000000000;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  bool mcp = (data[0] & 1) != 0;
  std::string_view line(reinterpret_cast<const char*>(data) + 1, size - 1);
  QuietDevice device;
  LeapingClock clock;
  vyx::json_rpc::Session session{device, nullptr, clock};
  vyx::StringWriter out;
  vyx::Status status = mcp ? vyx::mcp::dispatchLine(session, line, out) : vyx::json_rpc::dispatchLineWithTrace(session, line, out);
  if (!status) std::abort();  // writing to memory cannot fail, and there is no trace
  const std::string& reply = out.str();
  if (reply.empty()) {
    if (!mcp) std::abort();  // only an MCP notification goes unanswered
    return 0;
  }
  if (reply.back() != '\n' || reply.find('\n') != reply.size() - 1) std::abort();
  auto parsed = vyx::json::parseValue(std::string_view(reply).substr(0, reply.size() - 1));
  if (!parsed || !parsed->isObject() || parsed->get("jsonrpc") == nullptr || parsed->get("id") == nullptr) {
    std::abort();
  }
  const vyx::json::Value* id = parsed->get("id");
  if (!id->isNull() && !id->isInteger() && !id->isString()) std::abort();
  if ((parsed->get("result") == nullptr) == (parsed->get("error") == nullptr)) std::abort();
  return 0;
}
