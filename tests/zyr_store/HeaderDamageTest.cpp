// A database with checkpoints, one byte of one data set's header damaged at a time, over every
// byte of the headers of data sets of three kinds of object: each variant is refused with a
// message, or read with a message, or read as the undamaged file is. Nothing is lost silently.
#include "ObjectTestSupport.h"

#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using objecttest::keyOf;
using objecttest::TestModel;
using objecttest::TestThing;

class HeaderDamageTest : public objecttest::ObjectStoreTest {
protected:
  // A thing changed at three states, a checkpoint after each; closed with compaction.
  void SetUp() override {
    ObjectStoreTest::SetUp();
    m_name = file("made.zyr");
    Repository *repository = Repository_new(m_name.c_str());
    ASSERT_NE(repository, nullptr);
    TestThing *thing = objecttest::Thing_new();
    objecttest::Thing_setLabel(thing, "a");
    objecttest::Thing_setCount(thing, 1);
    Repository_commit(repository);
    Repository_externalCheckpoint(repository);
    objecttest::Thing_setCount(thing, 2);
    Repository_commit(repository);
    Repository_externalCheckpoint(repository);
    objecttest::Thing_setLabel(thing, "b");
    Repository_commit(repository);
    Repository_externalCheckpoint(repository);
    m_repository = keyOf(repository);
    m_thing = keyOf(thing);
    m_model = keyOf(Repository_getPrimaryModel(repository));
    ASSERT_EQ(Repository_close(repository, 0), 1);
    m_bytes = zyrtest::readFile(m_name);
    ASSERT_EQ(observe(m_name),
              "4 checkpoints; now primary b=2; at 0: primary; at 1: primary a=1; at 2: primary a=2; at 3: primary b=2");
    EXPECT_TRUE(takeErrors().empty());
  }

  // What an open finds: the checkpoints, and the model's name and the things now and at each.
  static std::string observe(const std::string &name) {
    Repository *repository = Repository_new(name.c_str());
    if (repository == nullptr)
      return "refused";
    const int32_t checkpoints = Repository_getNoOfCheckpoints(repository);
    std::string text = std::to_string(checkpoints) + " checkpoints; now " + contents(repository);
    for (int32_t i = 0; i < checkpoints; ++i)
      text += "; at " + std::to_string(i) + ": " +
              (Repository_gotoExternalCheckpoint(repository, i) ? contents(repository) : std::string("failed"));
    Repository_close(repository, -1);
    return text;
  }
  static std::string contents(Repository *repository) {
    const TestModel *model = static_cast<const TestModel *>(Repository_getPrimaryModel(repository));
    std::string text = model != nullptr && model->m_name != nullptr ? model->m_name : "<no model>";
    for (TestThing *thing : objecttest::things(repository))
      text += std::string(" ") + (thing->m_label ? thing->m_label : "?") + "=" + std::to_string(thing->m_count);
    return text;
  }

  // The bytes of the header of the last data set of the name and key: from the length field of
  // its "*HEADER" record through its "BLOCKFACTOR" record (records are a 4-byte length and text).
  void headerOf(const std::string &what, const std::string &where, size_t *from, size_t *to) const {
    const std::string owner = "WHERE\x1b" + where;
    *from = *to = 0;
    for (size_t at = m_bytes.find("*HEADER"); at != std::string::npos; at = m_bytes.find("*HEADER", at + 1)) {
      size_t p = at - 4;
      std::vector<std::string> records;
      while (p + 4 <= m_bytes.size()) {
        uint32_t length = 0;
        std::memcpy(&length, m_bytes.data() + p, 4);
        if (length > 300 || p + 4 + length > m_bytes.size())
          break;
        records.push_back(m_bytes.substr(p + 4, length));
        p += 4 + length;
        if (records.back().rfind("BLOCKFACTOR", 0) == 0)
          break;
      }
      if (records.size() > 3 && records[1] == "WHAT\x1b" + what && records[2] == owner) {
        *from = at - 4;
        *to = p;
      }
    }
  }

  // Every variant of the header's bytes: each digit to two others, each letter to another, every
  // other byte with its lowest and its highest bit flipped.
  void damageEveryByte(const std::string &what, const std::string &where) {
    size_t from = 0, to = 0;
    headerOf(what, where, &from, &to);
    ASSERT_LT(from, to) << what;
    const std::string baseline = observe(m_name);
    int variants = 0, silent = 0;
    for (size_t at = from; at < to; ++at) {
      const unsigned char c = static_cast<unsigned char>(m_bytes[at]);
      std::vector<unsigned char> into;
      if (c >= '0' && c <= '9')
        into = {static_cast<unsigned char>('0' + (c - '0' + 1) % 10), static_cast<unsigned char>('0' + (c - '0' + 5) % 10)};
      else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
        into = {static_cast<unsigned char>(c == 'z' || c == 'Z' ? c - 1 : c + 1)};
      else
        into = {static_cast<unsigned char>(c ^ 1), static_cast<unsigned char>(c ^ 0x80)};
      for (unsigned char replacement : into) {
        std::string bytes = m_bytes;
        bytes[at] = static_cast<char>(replacement);
        const std::string name = file("variant" + std::to_string(variants++) + ".zyr");
        zyrtest::writeFile(name, bytes);
        const std::string found = observe(name);
        const std::vector<std::string> errors = takeErrors();
        if (found != baseline && errors.empty()) {
          ++silent;
          ADD_FAILURE() << what << ": byte " << at - from << " of the header (" << int(c) << " made " << int(replacement)
                        << ") gives, without a word: " << found;
        }
        std::remove(name.c_str());
        std::remove((name + ".lck").c_str());
      }
    }
    EXPECT_GT(variants, 100);
    EXPECT_EQ(silent, 0);
  }

  std::string m_name, m_bytes;
  std::string m_repository, m_thing, m_model;
};

TEST_F(HeaderDamageTest, TheCheckpointListOfTheRepository) { damageEveryByte("checkpoints", m_repository); }

TEST_F(HeaderDamageTest, AnAttributeOfAThing) { damageEveryByte("count", m_thing); }

TEST_F(HeaderDamageTest, TheNameOfTheModel) { damageEveryByte("name", m_model); }

} // namespace
