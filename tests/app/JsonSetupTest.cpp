#include "app/JsonSetup.h"

#include <gtest/gtest.h>

using namespace turnpost;

TEST(JsonSetup, RoundTripKeepsEveryFieldAndOddFlagValues)
{
    GameSetup setup;
    setup.GameName = "Ærø \"quoted\"";
    setup.MessageText = "line one\r\nline two";
    setup.SendUniverseFile = 5; // a flag read as 5 stays 5
    setup.SmtpTimeout = -1;
    setup.SmtpSecurity = 2;
    setup.SmtpUser = "host@example.org";
    setup.SmtpLoginMethod = 1;
    setup.CheckTurnFiles = 0;
    setup.SendAdditionalFiles = 1;
    setup.AdditionalFiles = "/games/rules.pdf\n/games/race%P.r1";
    setup.GenerateCommand = "./generate.sh galaxy";
    setup.ExtensionFields = {{"Zebra", "1"}, {"Apple", "x y"}}; // kept in their order
    setup.Players[15] = {1, "p16@example.org", "/games/g.m16"};

    GameSetup back;
    std::string error;
    ASSERT_TRUE(SetupFromJson(SetupToJson(setup), back, error)) << error;
    EXPECT_EQ(back, setup);
}

TEST(JsonSetup, ExportNamesTheFieldsAndSixteenPlayers)
{
    const std::string json = SetupToJson(GameSetup{});
    for (const char* key : {"\"GameName\"", "\"UseDefaultMessage\"", "\"SmtpTimeout\": 15000", "\"Players\"",
                            "\"Selected\"", "\"EmailAddress\"", "\"PlayerFile\"", "\"SmtpPasswordCommand\""})
        EXPECT_NE(json.find(key), std::string::npos) << key;
}

TEST(JsonSetup, RefusesWhatItCannotTakeAndChangesNothing)
{
    const struct
    {
        const char* Json;
        const char* Reason;
    } cases[] = {
        {"{\"GameName\": \"x\", \"Colour\": 1}", "unknown field Colour"},
        {"{\"GameName\": 3}", "GameName must be a string"},
        {"{\"SmtpTimeout\": \"15000\"}", "SmtpTimeout must be an integer"},
        {"{\"SmtpTimeout\": 1.5}", "SmtpTimeout must be an integer"},
        {"{\"SmtpTimeout\": 2147483648}", "SmtpTimeout is out of range for a 32-bit integer"},
        {"{\"Players\": [{\"Selected\": 1, \"Nick\": \"x\"}]}", "unknown field Players[0].Nick"},
        {"{\"Players\": {}}", "Players must be an array of at most 16 players"},
        {"[1, 2]", "the setup must be a JSON object"},
        {"{\"GameName\": ", "not valid JSON"},
        {"{\"ExtensionFields\": []}", "ExtensionFields must be an object"},
        {"{\"ExtensionFields\": {\"Later\": 1}}", "ExtensionFields.Later must be a string"},
        {"{\"ExtensionFields\": {\"SmtpUser\": \"x\"}}",
         "ExtensionFields.SmtpUser is a known field: give it at the top level"},
        {"{\"AdditionalFiles\": \"/games/rules.pdf\"}", "AdditionalFiles must be a list of file names"},
        {"{\"AdditionalFiles\": [\"a\", 2]}", "AdditionalFiles[1] must be a string"},
        {"{\"AdditionalFiles\": [\"a\\nb\"]}",
         "AdditionalFiles: a file name with a line break cannot be kept: a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Json);
        GameSetup setup;
        setup.GameName = "kept";
        std::string error;
        EXPECT_FALSE(SetupFromJson(c.Json, setup, error));
        EXPECT_EQ(error, c.Reason);
        EXPECT_EQ(setup.GameName, "kept");
    }
}

TEST(JsonSetup, AdditionalFilesAreAListOfPaths)
{
    GameSetup setup;
    setup.AdditionalFiles = "/games/rules.pdf\n/games/race%P.r1";
    setup.GenerateCommand = "./generate.sh galaxy";
    EXPECT_NE(SetupToJson(setup).find(
                  "\"AdditionalFiles\": [\n    \"/games/rules.pdf\",\n    \"/games/race%P.r1\"\n  ]"),
              std::string::npos)
        << SetupToJson(setup);
    std::string error;
    ASSERT_TRUE(SetupFromJson("{\"AdditionalFiles\": []}", setup, error)) << error;
    EXPECT_EQ(setup.AdditionalFiles, "");
}

TEST(JsonSetup, LeftOutFieldsTakeFreshValues)
{
    GameSetup setup;
    setup.SmtpTimeout = 1;
    std::string error;
    ASSERT_TRUE(SetupFromJson("{\"GameName\": \"Alpha\", \"Players\": [{\"Selected\": 1}]}", setup, error));
    EXPECT_EQ(setup.GameName, "Alpha");
    EXPECT_EQ(setup.SmtpTimeout, 15000);
    EXPECT_EQ(setup.Players[0].Selected, 1);
    EXPECT_EQ(setup.Players[1].Selected, 0);
}
