#include "verdict_render.h"

#include "json_writer.h"
#include "translate.h"

namespace kesp_config_net {

std::string renderVerdictText(const KESP::Verdict& verdict) {
  std::string text = verdict.message.filled(tr(verdict.message.pattern)) + "\n";
  if (*verdict.fix.pattern)
    text += "    " + trf("what to do: {1}", {verdict.fix.filled(tr(verdict.fix.pattern))}) + "\n";
  return text;
}

std::string renderVerdictsJson(const std::vector<KESP::Verdict>& verdicts) {
  JsonWriter json;
  json.beginObject().key("interfaces").beginArray();
  for (const KESP::Verdict& verdict : verdicts) {
    json.beginObject();
    json.key("name").value(verdict.iface);
    json.key("layer").value(KESP::diagnosisLayerName(verdict.layer));
    json.key("ok").value(verdict.ok());
    json.key("message").value(verdict.message.english());
    json.key("fix").valueOrNull(verdict.fix.english());
    json.key("details").beginObject();
    for (const auto& detail : verdict.details) json.key(detail.first).value(detail.second);
    json.endObject();
    json.endObject();
  }
  json.endArray().endObject();
  return json.text();
}

}  // namespace kesp_config_net
