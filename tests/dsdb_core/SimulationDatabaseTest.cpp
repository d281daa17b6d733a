// The simulation-database text, parsed in this process: the models it names, every error and
// warning with its exact text, and the same results from a file as from bytes in memory.
#include "SimulationDatabase.h"

#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

struct Parsed {
  std::unique_ptr<SimulationDatabase, void (*)(SimulationDatabase *)> m_database;
  explicit Parsed(const std::string &text, const char *name = "/data/study.dsdb")
      : m_database(SimulationDatabase_parse(text.data(), text.size(), name), SimulationDatabase_delete) {}
  SimulationDatabase *operator->() const { return m_database.get(); }
  Strings names() const {
    Strings list;
    for (const SimulationModel &m : m_database->m_models) list.push_back(m.m_name);
    return list;
  }
};

TEST(SimulationDatabase, ModelsWithTheirDefaultsAndMeshPaths) {
  Parsed p("# a study\r\n"
           "ZYR_DSDB 1\r\n"
           "\n"
           "model   Rotor  Passage \r\n"
           "\tnumber -7\n"
           "  kind Fluid zone\n"
           "  mesh rotor.gmo\n"
           "end\n"
           "model Stator\n"
           "  mesh /meshes/stator.gmo\n"
           "end\n"
           "model Empty\n"
           "end");
  ASSERT_EQ(p->m_noOfErrors, 0) << (p->m_errors.empty() ? "" : p->m_errors[0]);
  EXPECT_EQ(p->m_noOfWarnings, 0);
  EXPECT_EQ(p.names(), (Strings{"Rotor  Passage", "Stator", "Empty"}));
  const SimulationModel &rotor = p->m_models[0], &stator = p->m_models[1], &empty = p->m_models[2];
  EXPECT_EQ(rotor.m_number, -7);
  EXPECT_EQ(rotor.m_kind, "Fluid zone");
  EXPECT_EQ(rotor.m_line, 4);
  EXPECT_EQ(SimulationDatabase_meshPath(p.m_database.get(), &rotor), "/data/rotor.gmo");
  EXPECT_EQ(stator.m_number, 2);
  EXPECT_EQ(stator.m_kind, "Mesh");
  EXPECT_EQ(SimulationDatabase_meshPath(p.m_database.get(), &stator), "/meshes/stator.gmo");
  EXPECT_EQ(empty.m_number, 3);
  EXPECT_EQ(SimulationDatabase_meshPath(p.m_database.get(), &empty), "");
  // A database named without a directory leaves a relative mesh path as written.
  Parsed bare("ZYR_DSDB 1\nmodel A\nmesh a.gmo\nend\n", "study.dsdb");
  EXPECT_EQ(SimulationDatabase_meshPath(bare.m_database.get(), &bare->m_models[0]), "a.gmo");
}

struct Case {
  std::string m_text;
  Strings m_errors;
  Strings m_warnings;
};

TEST(SimulationDatabase, ProblemsAreNamedByLine) {
  const std::string head = "ZYR_DSDB 1\n";
  const std::vector<Case> cases = {
      {"", {"The file holds no statement: a simulation database begins with \"ZYR_DSDB 1\"."}, {}},
      {"# only a comment\n\n", {"The file holds no statement: a simulation database begins with \"ZYR_DSDB 1\"."}, {}},
      {"model A\n", {"Line 1: this is not a simulation database: its first statement must be \"ZYR_DSDB 1\"."}, {}},
      {"ZYR_DSDB 2\nmodel A\n",
       {"Line 1: version \"2\" of the simulation database format is not supported (only 1 is)."}, {}},
      {std::string("\x7f" "ELF\n"),
       {"Line 1: this is not a simulation database: its first statement must be \"ZYR_DSDB 1\"."}, {}},
      {head + "ZYR_DSDB 1\n", {"Line 2: \"ZYR_DSDB\" may only begin the file."}, {}},
      {head + "mesh a.gmo\nend\n",
       {"Line 2: \"mesh\" outside a model.", "Line 3: \"end\" outside a model."}, {}},
      {head + "model A\nnumber 2147483648\nend\n",
       {"Line 3: the number of model \"A\" must be a 32-bit integer, not \"2147483648\"."}, {}},
      {head + "model A\nnumber -2147483648\nnumber 1\nend\n", {"Line 4: model \"A\" is given a number twice."}, {}},
      {head + "model A\nkind\nmesh\nend\n",
       {"Line 3: the kind of model \"A\" is empty.", "Line 4: model \"A\" names no mesh file after \"mesh\"."}, {}},
      {head + "model <A>\nkind <B>\nend\nmodel\nend\n",
       {"Line 2: a model name may not begin with \"<\".", "Line 3: a model kind may not begin with \"<\".",
        "Line 5: a model needs a name."},
       {}},
      {head + "model A\nmodel B\nend\n",
       {"Line 3: model \"B\" begins before model \"A\" of line 2 has ended."}, {}},
      {head + "model A\n", {"Line 2: model \"A\" has no \"end\"."}, {}},
      {head + "model A\tB\x01\nend\n",
       {"Line 2: the line holds a control character.", "Line 3: \"end\" outside a model."}, {}},
      {head + "model " + std::string(5000, 'x') + "\nend\n",
       {"Line 2: the line is longer than 4096 bytes.", "Line 3: \"end\" outside a model."}, {}},
      {head + "model A\nend now\ncolour red\nmodel A\nend\n", {},
       {"Line 3: text after \"end\" ignored: \"now\".", "Line 4: unknown keyword \"colour\" ignored.",
        "Line 5: model \"A\" has the name of the model of line 2."}},
  };
  for (const Case &c : cases) {
    Parsed p(c.m_text);
    EXPECT_EQ(p->m_errors, c.m_errors) << c.m_text.substr(0, 60);
    EXPECT_EQ(p->m_warnings, c.m_warnings) << c.m_text.substr(0, 60);
    EXPECT_EQ(p->m_noOfErrors, static_cast<int64_t>(c.m_errors.size()));
  }
}

TEST(SimulationDatabase, CountsGoOnWhereTheKeptMessagesStop) {
  std::string text = "ZYR_DSDB 1\n";
  for (int i = 0; i < 30; ++i) text += "end\n";
  Parsed p(text);
  EXPECT_EQ(p->m_errors.size(), 20u);
  EXPECT_EQ(p->m_noOfErrors, 30);
  EXPECT_EQ(p->m_errors.back(), "Line 21: \"end\" outside a model.");
  // More models than a database may hold: the reading stops there.
  std::string many = "ZYR_DSDB 1\n";
  for (int i = 0; i <= SimulationDatabase_maximumModels; ++i) many += "model m\nend\n";
  Parsed q(many);
  EXPECT_EQ(q->m_models.size(), static_cast<size_t>(SimulationDatabase_maximumModels));
  EXPECT_EQ(q->m_errors, (Strings{"Line 20002: the simulation database holds more than 10000 models."}));
}

TEST(SimulationDatabase, AFileReadsAsItsBytesParse) {
  zyrtest::ScratchDir dir;
  const std::string name = dir.file("study.dsdb");
  const std::string text = "ZYR_DSDB 1\nmodel A\n  mesh a.gmo\nend\nmodel A\nend\nbogus\n";
  zyrtest::writeFile(name, text);
  std::unique_ptr<SimulationDatabase, void (*)(SimulationDatabase *)> read(SimulationDatabase_read(name.c_str()),
                                                                           SimulationDatabase_delete);
  Parsed parsed(text, name.c_str());
  EXPECT_EQ(read->m_errors, parsed->m_errors);
  EXPECT_EQ(read->m_warnings, parsed->m_warnings);
  ASSERT_EQ(read->m_models.size(), parsed->m_models.size());
  EXPECT_EQ(SimulationDatabase_meshPath(read.get(), &read->m_models[0]), dir.file("a.gmo"));
  // What cannot be opened as a regular file is an error of its own.
  std::unique_ptr<SimulationDatabase, void (*)(SimulationDatabase *)> directory(
      SimulationDatabase_read(dir.path().c_str()), SimulationDatabase_delete);
  EXPECT_EQ(directory->m_errors,
            (Strings{"Unable to open the simulation database \"" + dir.path() + "\": Is a directory."}));
}

} // namespace
