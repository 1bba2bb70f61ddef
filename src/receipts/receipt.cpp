// A receipt to and from its JSON line.
#include "receipts/receipt.h"

#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>

namespace tessaline::receipts {

namespace {

using Json = nlohmann::ordered_json;

bool IsDigest(const std::string& text) {
  if (text.empty()) return true;
  if (text.size() != 64) return false;
  for (const char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// "YYYY-MM-DDTHH:MM:SS" with optional fraction, then "Z".
bool IsUtcTimestamp(const std::string& text) {
  constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:dd";
  if (text.size() < kShape.size() + 1 || text.back() != 'Z') return false;
  for (std::size_t i = 0; i < kShape.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return false;
  }
  const std::string_view rest(text.data() + kShape.size(), text.size() - kShape.size() - 1);
  if (rest.empty()) return true;
  if (rest.size() < 2 || rest[0] != '.') return false;
  for (const char c : rest.substr(1)) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Field readers: each names the field that is missing or of the wrong type.
class FieldReader {
 public:
  FieldReader(const Json& object, std::string prefix, std::string& why)
      : object_(object), prefix_(std::move(prefix)), why_(why) {}

  bool Text(const char* key, std::string& into) {
    const Json* value = Find(key);
    if (value == nullptr || !value->is_string()) return Fail(key, "a string");
    into = value->get<std::string>();
    return true;
  }
  bool Digest(const char* key, std::string& into) {
    if (!Text(key, into)) return false;
    return IsDigest(into) || Fail(key, "64 lower-case hex digits or empty");
  }
  template <typename Number>
  bool Whole(const char* key, Number& into) {
    const Json* value = Find(key);
    if (value == nullptr || !value->is_number_unsigned() ||
        value->get<std::uint64_t>() > std::numeric_limits<Number>::max()) {
      return Fail(key, "a whole number");
    }
    into = static_cast<Number>(value->get<std::uint64_t>());
    return true;
  }
  bool Integer(const char* key, int& into) {
    const Json* value = Find(key);
    if (value == nullptr || !value->is_number_integer() ||
        value->get<std::int64_t>() < std::numeric_limits<int>::min() ||
        value->get<std::int64_t>() > std::numeric_limits<int>::max()) {
      return Fail(key, "an integer");
    }
    into = static_cast<int>(value->get<std::int64_t>());
    return true;
  }
  bool Flag(const char* key, bool& into) {
    const Json* value = Find(key);
    if (value == nullptr || !value->is_boolean()) return Fail(key, "true or false");
    into = value->get<bool>();
    return true;
  }
  const Json* Object(const char* key) {
    const Json* value = Find(key);
    if (value == nullptr || !value->is_object()) {
      Fail(key, "an object");
      return nullptr;
    }
    return value;
  }
  const Json* Array(const char* key) {
    const Json* value = Find(key);
    if (value == nullptr || !value->is_array()) {
      Fail(key, "an array");
      return nullptr;
    }
    return value;
  }
  bool Fail(std::string_view key, std::string_view expected) {
    why_ = "\"" + prefix_ + std::string(key) + "\" is missing or not " + std::string(expected);
    return false;
  }

 private:
  const Json* Find(const char* key) const {
    const auto found = object_.find(key);
    return found == object_.end() ? nullptr : &*found;
  }

  const Json& object_;
  std::string prefix_;
  std::string& why_;
};

bool ReadStages(const Json& list, std::vector<StageRecord>& into, std::string& why) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string prefix = "stages[" + std::to_string(i) + "].";
    if (!list[i].is_object()) {
      why = "\"" + prefix.substr(0, prefix.size() - 1) + "\" is not an object";
      return false;
    }
    FieldReader field(list[i], prefix, why);
    StageRecord stage;
    if (!field.Text("name", stage.name) || !field.Whole("exchanges", stage.exchanges) ||
        !field.Whole("resends", stage.resends) || !field.Whole("duration_ms", stage.durationMs)) {
      return false;
    }
    into.push_back(std::move(stage));
  }
  return true;
}

bool ReadOptions(const Json& object, std::map<std::string, std::string>& into, std::string& why) {
  for (const auto& [name, value] : object.items()) {
    if (value.is_boolean() && value.get<bool>()) {
      into[name] = "";
    } else if (value.is_string()) {
      into[name] = value.get<std::string>();
    } else {
      why = "\"options." + name + "\" is neither true nor a string";
      return false;
    }
  }
  return true;
}

std::optional<Receipt> FromJson(const Json& json, std::string& why) {
  if (!json.is_object()) {
    why = "not a JSON object";
    return std::nullopt;
  }
  Receipt r;
  FieldReader field(json, "", why);
  if (!field.Text("time", r.time)) return std::nullopt;
  if (!IsUtcTimestamp(r.time)) {
    field.Fail("time", "a UTC time (YYYY-MM-DDTHH:MM:SSZ)");
    return std::nullopt;
  }
  if (!field.Text("program_version", r.programVersion) || !field.Text("unit", r.unit) ||
      !field.Text("identity", r.identity) || !field.Text("variant", r.variant) ||
      !field.Text("bootloader_version", r.bootloaderVersion) ||
      !field.Text("application_version_before", r.applicationVersionBefore) ||
      !field.Text("application_version_after", r.applicationVersionAfter) ||
      !field.Text("package_build_version", r.packageBuildVersion) ||
      !field.Digest("application_sha256", r.applicationSha256) ||
      !field.Digest("flash_data_sha256", r.flashDataSha256) ||
      !field.Whole("total_ms", r.totalMs) || !field.Digest("prev", r.prev)) {
    return std::nullopt;
  }
  // Receipts written before the field existed lack it: the answer's state is then unknown.
  if (const auto before = json.find("application_before"); before != json.end()) {
    if (!field.Text("application_before", r.applicationBefore)) return std::nullopt;
  }
  if (const auto key = json.find("key"); key != json.end()) {
    if (!field.Digest("key", r.key) || r.key.empty() || !field.Text("sig", r.sig)) {
      if (r.key.empty()) field.Fail("key", "64 lower-case hex digits");
      return std::nullopt;
    }
  }
  const Json* options = field.Object("options");
  if (options == nullptr || !ReadOptions(*options, r.options, why)) return std::nullopt;
  const Json* stages = field.Array("stages");
  if (stages == nullptr || !ReadStages(*stages, r.stages, why)) return std::nullopt;
  const Json* outcome = field.Object("outcome");
  if (outcome == nullptr) return std::nullopt;
  FieldReader outcomeField(*outcome, "outcome.", why);
  if (!outcomeField.Text("result", r.outcome.result) ||
      !outcomeField.Text("reason", r.outcome.reason) ||
      !outcomeField.Integer("exit_code", r.outcome.exitCode)) {
    return std::nullopt;
  }
  const auto confirmation = json.find("running_confirmation");
  if (confirmation == json.end()) {
    field.Fail("running_confirmation", "null or an object");
    return std::nullopt;
  }
  if (!confirmation->is_null()) {
    if (!confirmation->is_object()) {
      field.Fail("running_confirmation", "null or an object");
      return std::nullopt;
    }
    RunningConfirmation c;
    FieldReader confirmationField(*confirmation, "running_confirmation.", why);
    if (!confirmationField.Whole("limit_seconds", c.limitSeconds) ||
        !confirmationField.Flag("running", c.running) ||
        !confirmationField.Whole("elapsed_ms", c.elapsedMs) ||
        !confirmationField.Text("application_version", c.applicationVersion) ||
        !confirmationField.Text("detail", c.detail)) {
      return std::nullopt;
    }
    r.confirmation = std::move(c);
  }
  return r;
}

}  // namespace

Json ReceiptJson(const Receipt& r) {
  Json options = Json::object();
  // Flags are written as true, options with a value as their text.
  for (const auto& [name, value] : r.options) {
    options[name] = value.empty() ? Json(true) : Json(value);
  }
  Json stages = Json::array();
  for (const StageRecord& stage : r.stages) {
    stages.push_back({{"name", stage.name},
                      {"exchanges", stage.exchanges},
                      {"resends", stage.resends},
                      {"duration_ms", stage.durationMs}});
  }
  Json confirmation = nullptr;
  if (r.confirmation) {
    const RunningConfirmation& c = *r.confirmation;
    confirmation = {{"limit_seconds", c.limitSeconds},
                    {"running", c.running},
                    {"elapsed_ms", c.elapsedMs},
                    {"application_version", c.applicationVersion},
                    {"detail", c.detail}};
  }
  Json line = {{"time", r.time},
               {"program_version", r.programVersion},
               {"unit", r.unit},
               {"identity", r.identity},
               {"variant", r.variant},
               {"bootloader_version", r.bootloaderVersion},
               {"application_version_before", r.applicationVersionBefore},
               {"application_before", r.applicationBefore},
               {"application_version_after", r.applicationVersionAfter},
               {"package_build_version", r.packageBuildVersion},
               {"application_sha256", r.applicationSha256},
               {"flash_data_sha256", r.flashDataSha256},
               {"options", options},
               {"stages", stages},
               {"total_ms", r.totalMs},
               {"outcome",
                {{"result", r.outcome.result},
                 {"reason", r.outcome.reason},
                 {"exit_code", r.outcome.exitCode}}},
               {"running_confirmation", confirmation},
               {"prev", r.prev}};
  // Unsigned lines keep the form of earlier versions.
  if (!r.key.empty()) {
    line["key"] = r.key;
    line["sig"] = r.sig;
  }
  return line;
}

std::string UtcTimestamp(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const auto milliseconds = floor<std::chrono::milliseconds>(when);
  const auto day = floor<days>(milliseconds);
  const year_month_day date{day};
  const hh_mm_ss clock{milliseconds - day};
  char text[40];
  std::snprintf(
      text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
      static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
      static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
  return text;
}

std::string ReceiptJsonLine(const Receipt& receipt) {
  // Invalid UTF-8 in a text (a unit's identity) is replaced, never thrown about.
  return ReceiptJson(receipt).dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string ReceiptsJsonArray(const std::vector<Receipt>& receipts) {
  Json array = Json::array();
  for (const Receipt& receipt : receipts) array.push_back(ReceiptJson(receipt));
  return array.dump(2, ' ', false, Json::error_handler_t::replace);
}

std::optional<Receipt> ParseReceiptLine(std::string_view line, std::string& why) {
  const Json json = Json::parse(line, nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded()) {
    why = "not valid JSON";
    return std::nullopt;
  }
  try {
    return FromJson(json, why);
  } catch (const nlohmann::json::exception& failure) {
    why = failure.what();
    return std::nullopt;
  }
}

}  // namespace tessaline::receipts
