// The collector's command line: help words, the environment under the
// command line, and a help text that follows the option table.
#include <gtest/gtest.h>

#include <map>

#include "collector/Options.h"

namespace collector {
namespace {

Status Parse(std::vector<std::string> args, Options& options, std::map<std::string, std::string> variables = {}) {
  return ParseOptions(args, options, [variables](const std::string& name) -> std::optional<std::string> {
    const auto found = variables.find(name);
    return found == variables.end() ? std::nullopt : std::optional<std::string>(found->second);
  });
}

TEST(CollectorOptions, HelpWordsAskForHelpOnEveryCommandAndOthersStayErrors) {
  const std::pair<std::vector<std::string>, std::string> asks[] = {
      {{"--help"}, ""},
      {{"-h"}, ""},
      {{"help"}, ""},
      {{"help", "import"}, "import"},
      {{"serve", "--help"}, "serve"},
      {{"render", "-h"}, "render"},
      {{"import", "a.xml", "--help"}, "import"},
  };
  for (const auto& [args, topic] : asks) {
    Options options;
    ASSERT_TRUE(Parse(args, options).ok()) << args[0];
    EXPECT_EQ(std::make_pair(options.command, options.helpTopic), std::make_pair(std::string("help"), topic));
  }
  for (const std::vector<std::string> args : {std::vector<std::string>{"serve", "--bogus", "1"},
                                              {"help", "bogus"},
                                              {"serve", "-x"},
                                              {"--version", "serve"},
                                              {"import", "--timeout", "5"}}) {
    Options options;
    EXPECT_FALSE(Parse(args, options).ok()) << args[1];
  }
}

TEST(CollectorOptions, TheEnvironmentSetsLongOptionsAndTheCommandLineWins) {
  Options options;
  ASSERT_TRUE(Parse({"serve", "--timeout", "7"}, options,
                    {{"DROMIKA_COLLECTOR_TIMEOUT", "9"},
                     {"DROMIKA_COLLECTOR_MAX_BODY", "1M"},
                     {"DROMIKA_COLLECTOR_STORE", "sqlite:x.db"}})
                  .ok());
  EXPECT_EQ(std::make_tuple(options.timeoutSeconds, options.maxBody, options.store),
            std::make_tuple(7, size_t{1} << 20, std::string("sqlite:x.db")));
  const Status bad = Parse({"serve", "--listen", "127.0.0.1:1"}, options, {{"DROMIKA_COLLECTOR_LISTEN", "nowhere"}});
  EXPECT_NE(bad.message().find("DROMIKA_COLLECTOR_LISTEN"), std::string::npos) << bad.message();
  // Render takes no store, so a variable meant for serve leaves it alone.
  ASSERT_TRUE(Parse({"render", "a.xml"}, options, {{"DROMIKA_COLLECTOR_TIMEOUT", "bad"}}).ok());
}

TEST(CollectorOptions, HelpNamesEveryOptionWithItsDefaultAndVariable) {
  for (const auto& command : kCommands) {
    const std::string help = HelpText(command.name);
    EXPECT_NE(help.find("Exit codes: 0"), std::string::npos) << command.name;
    for (const auto& option : kOptions) {
      const bool takes =
          (" " + std::string(option.commands) + " ").find(" " + std::string(command.name) + " ") != std::string::npos;
      EXPECT_EQ(help.find(std::string(option.name) + " " + option.value) != std::string::npos, takes) << option.name;
      if (takes) EXPECT_NE(help.find(option.defaultText), std::string::npos) << option.name;
    }
  }
  EXPECT_NE(HelpText("serve").find("DROMIKA_COLLECTOR_MAX_BODY."), std::string::npos);
}

}  // namespace
}  // namespace collector
