// The YAML tree's reading and writing through libyaml's event interface.

#include "files/yaml_tree.h"

#include <yaml.h>

#include <unordered_map>

#include "kesp/util.h"


namespace KESP {
namespace detail {

YamlNode YamlNode::scalar(const std::string& text) {
  YamlNode node;
  node.value = text;
  return node;
}

YamlNode YamlNode::mapping() {
  YamlNode node;
  node.kind = Kind::Mapping;
  return node;
}

YamlNode YamlNode::sequence() {
  YamlNode node;
  node.kind = Kind::Sequence;
  return node;
}

const YamlNode* YamlNode::find(const std::string& key) const {
  if (!isMapping()) return nullptr;
  for (const auto& entry : entries)
    if (entry.first == key) return &entry.second;
  return nullptr;
}

YamlNode* YamlNode::find(const std::string& key) {
  return const_cast<YamlNode*>(static_cast<const YamlNode*>(this)->find(key));
}

YamlNode& YamlNode::at(const std::string& key) {
  if (!isMapping()) *this = mapping();
  if (YamlNode* existing = find(key)) return *existing;
  entries.emplace_back(key, mapping());
  return entries.back().second;
}

bool YamlNode::erase(const std::string& key) {
  for (auto entry = entries.begin(); entry != entries.end(); ++entry) {
    if (entry->first == key) {
      entries.erase(entry);
      return true;
    }
  }
  return false;
}

namespace {

// Deeper documents are refused rather than read with unbounded recursion.
const int kMaxDepth = 64;
// Far more than any configuration holds (a few nodes per interface); a file
// of 16 MiB could otherwise become a tree twenty times its size.
const std::size_t kMaxNodes = 32768;
// No value of a configuration comes near it: a scalar of megabytes is copied
// at each step of reading it.
const std::size_t kMaxScalarBytes = std::size_t{1} << 20;
// Mappings up to this size are searched; larger ones get an index.
const std::size_t kIndexedFrom = 16;

struct EventReader {
  yaml_parser_t parser;
  yaml_event_t event;
  bool holding = false;
  std::size_t nodes = 0;
  std::string error;

  explicit EventReader(const std::string& text) {
    yaml_parser_initialize(&parser);
    yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(text.data()),
                                 text.size());
  }
  ~EventReader() {
    release();
    yaml_parser_delete(&parser);
  }
  void release() {
    if (holding) yaml_event_delete(&event);
    holding = false;
  }
  bool next() {
    release();
    if (!yaml_parser_parse(&parser, &event)) {
      error = std::to_string(parser.problem_mark.line + 1) + ":" +
              std::to_string(parser.problem_mark.column + 1) + ": " +
              (parser.problem ? parser.problem : "unreadable YAML");
      return false;
    }
    holding = true;
    return true;
  }
  bool fail(const char* what) {
    error = std::to_string(event.start_mark.line + 1) + ":" +
            std::to_string(event.start_mark.column + 1) + ": " + what;
    return false;
  }
};

/// Reads the node whose first event the reader holds.
bool readNode(EventReader& reader, YamlNode& node, int depth) {
  if (depth > kMaxDepth) return reader.fail("document nested too deeply");
  if (++reader.nodes > kMaxNodes) return reader.fail("more nodes than any configuration holds");
  const yaml_event_t& event = reader.event;
  const unsigned line = static_cast<unsigned>(event.start_mark.line) + 1;
  switch (event.type) {
    case YAML_SCALAR_EVENT:
      if (event.data.scalar.length > kMaxScalarBytes) return reader.fail("a value of more than 1 MiB");
      node = YamlNode::scalar(std::string(reinterpret_cast<const char*>(event.data.scalar.value),
                                          event.data.scalar.length));
      node.quoted = event.data.scalar.style != YAML_PLAIN_SCALAR_STYLE;
      node.line = line;
      return true;
    case YAML_SEQUENCE_START_EVENT:
      node = YamlNode::sequence();
      node.line = line;
      for (;;) {
        if (!reader.next()) return false;
        if (reader.event.type == YAML_SEQUENCE_END_EVENT) return true;
        node.items.emplace_back();
        if (!readNode(reader, node.items.back(), depth + 1)) return false;
      }
    case YAML_MAPPING_START_EVENT: {
      node = YamlNode::mapping();
      node.line = line;
      // Repeated keys are looked up through an index once a mapping grows
      // (ethernets: of many interfaces), so that reading stays linear.
      std::unordered_map<std::string, std::size_t> index;
      for (;;) {
        if (!reader.next()) return false;
        if (reader.event.type == YAML_MAPPING_END_EVENT) return true;
        if (reader.event.type != YAML_SCALAR_EVENT) return reader.fail("key is not a scalar");
        std::string key(reinterpret_cast<const char*>(reader.event.data.scalar.value),
                        reader.event.data.scalar.length);
        // netplan's own reader takes both values of a repeated key, and what
        // it then makes of them is not what this tree could show or edit.
        bool repeated = false;
        if (node.entries.size() < kIndexedFrom) {
          repeated = node.find(key) != nullptr;
        } else {
          if (index.empty())
            for (std::size_t i = 0; i < node.entries.size(); ++i) index.emplace(node.entries[i].first, i);
          repeated = index.count(key) != 0;
        }
        if (repeated) return reader.fail(("duplicate key \"" + terminalSafe(key) + "\"").c_str());
        if (!reader.next()) return false;
        if (!index.empty()) index.emplace(key, node.entries.size());
        node.entries.emplace_back(std::move(key), YamlNode());
        if (!readNode(reader, node.entries.back().second, depth + 1)) return false;
      }
    }
    case YAML_ALIAS_EVENT:
      return reader.fail("aliases are not supported");
    default:
      return reader.fail("unexpected YAML event");
  }
}

}  // namespace

bool parseYaml(const std::string& text, YamlNode& root, std::string& error) {
  EventReader reader(text);
  root = YamlNode::mapping();
  // Stream start, then a document or the stream's end.
  if (!reader.next() || !reader.next()) {
    error = reader.error;
    return false;
  }
  if (reader.event.type == YAML_STREAM_END_EVENT) return true;
  if (!reader.next() || !readNode(reader, root, 0)) {
    error = reader.error;
    return false;
  }
  return true;
}

namespace {

int appendOutput(void* data, unsigned char* buffer, size_t size) {
  static_cast<std::string*>(data)->append(reinterpret_cast<const char*>(buffer), size);
  return 1;
}

bool emitNode(yaml_emitter_t& emitter, const YamlNode& node) {
  yaml_event_t event;
  switch (node.kind) {
    case YamlNode::Kind::Scalar: {
      const yaml_scalar_style_t style =
          node.quoted ? YAML_DOUBLE_QUOTED_SCALAR_STYLE : YAML_ANY_SCALAR_STYLE;
      yaml_char_t* text = reinterpret_cast<yaml_char_t*>(const_cast<char*>(node.value.c_str()));
      if (!yaml_scalar_event_initialize(&event, nullptr, nullptr, text,
                                        static_cast<int>(node.value.size()), !node.quoted, 1,
                                        style))
        return false;
      return yaml_emitter_emit(&emitter, &event) != 0;
    }
    case YamlNode::Kind::Sequence:
      if (!yaml_sequence_start_event_initialize(&event, nullptr, nullptr, 1,
                                                YAML_BLOCK_SEQUENCE_STYLE) ||
          !yaml_emitter_emit(&emitter, &event))
        return false;
      for (const YamlNode& item : node.items)
        if (!emitNode(emitter, item)) return false;
      return yaml_sequence_end_event_initialize(&event) && yaml_emitter_emit(&emitter, &event);
    case YamlNode::Kind::Mapping:
      if (!yaml_mapping_start_event_initialize(&event, nullptr, nullptr, 1,
                                               YAML_BLOCK_MAPPING_STYLE) ||
          !yaml_emitter_emit(&emitter, &event))
        return false;
      for (const auto& entry : node.entries)
        if (!emitNode(emitter, YamlNode::scalar(entry.first)) || !emitNode(emitter, entry.second))
          return false;
      return yaml_mapping_end_event_initialize(&event) && yaml_emitter_emit(&emitter, &event);
  }
  return false;
}

}  // namespace

bool emitYaml(const YamlNode& root, std::string& text) {
  yaml_emitter_t emitter;
  if (!yaml_emitter_initialize(&emitter)) return false;
  std::string output;
  yaml_emitter_set_output(&emitter, appendOutput, &output);
  yaml_emitter_set_unicode(&emitter, 1);
  yaml_emitter_set_indent(&emitter, 2);
  yaml_event_t event;
  bool ok = yaml_stream_start_event_initialize(&event, YAML_UTF8_ENCODING) &&
            yaml_emitter_emit(&emitter, &event) &&
            yaml_document_start_event_initialize(&event, nullptr, nullptr, nullptr, 1) &&
            yaml_emitter_emit(&emitter, &event) && emitNode(emitter, root) &&
            yaml_document_end_event_initialize(&event, 1) && yaml_emitter_emit(&emitter, &event) &&
            yaml_stream_end_event_initialize(&event) && yaml_emitter_emit(&emitter, &event);
  yaml_emitter_delete(&emitter);
  if (ok) text = output;
  return ok;
}

}  // namespace detail
}  // namespace KESP
