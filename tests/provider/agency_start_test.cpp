// Finding and starting the filter service from the channel client.
#include "provider/agency_comms.h"
#include "provider/informant.h"

#include "tests/provider/channel_server.h"
#include "tests/provider/log_reader.h"
#include "tests/provider/started_program.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class AgencyStart : public ::testing::Test {
  protected:
    AgencyStart() { qmtest::MakeLogFolder(dir_.path()); }
    qmtest::TempDir dir_;
};

TEST_F(AgencyStart, PresentServiceIsNotStartedAndConnectsAtOnce) {
    qmtest::ChannelServer server(qmtest::FixedReplies("NN", "AB:N"));
    zul::CAgencyComms comms(dir_.path(), 2);
    EXPECT_TRUE(comms.EstablishCommunications());
    EXPECT_FALSE(comms.IsConnected(zul::COMMS_URL));
    EXPECT_TRUE(comms.EstablishCommunication(zul::COMMS_URL));
    EXPECT_TRUE(comms.IsConnected(zul::COMMS_URL));
    EXPECT_FALSE(comms.IsConnected(zul::COMMS_APP));
    EXPECT_FALSE(comms.IsConnected(3));
    EXPECT_FALSE(comms.EstablishCommunication(0));
    EXPECT_FALSE(qmtest::LogHas(dir_.path(), "Need to start KOVARI"));
    EXPECT_TRUE(qmtest::LogHas(dir_.path(), "-> CAgencyComms::EstablishCommunication - "
                                            "CONNECTION ESTABLISHED\n"));
    EXPECT_TRUE(qmtest::LogHas(dir_.path(), "-> CCAgencyComms::CAgencyComms2 - A new "
                                            "communication object has been created.\n"));
    char reply[4] = {};
    ASSERT_TRUE(comms.SendCommunication("http://a/", 9, zul::COMMS_URL));
    ASSERT_TRUE(comms.ReceiveCommunication(reply, sizeof reply, zul::COMMS_URL));
    EXPECT_STREQ(reply, "NN");
    EXPECT_EQ(server.Connections(), 1);
}

// A second EstablishCommunication of a connected kind makes no new connection.
TEST_F(AgencyStart, AKindIsConnectedOnce) {
    qmtest::ChannelServer server(qmtest::FixedReplies("NN", "AB:N"));
    zul::CAgencyComms comms(dir_.path(), 0);
    EXPECT_TRUE(comms.EstablishCommunication(zul::COMMS_APP));
    EXPECT_TRUE(comms.EstablishCommunication(zul::COMMS_APP));
    char reply[8] = {};
    ASSERT_TRUE(comms.SendCommunication("AB:1,a", 6, zul::COMMS_APP));
    ASSERT_TRUE(comms.ReceiveCommunication(reply, sizeof reply, zul::COMMS_APP));
    EXPECT_STREQ(reply, "AB:N");
    EXPECT_EQ(server.Connections(), 1);
}

TEST_F(AgencyStart, MissingProgramLogsErrorCodeTwoWithoutWaiting) {
    zul::CInformant informant(dir_.path(), 2);
    std::string request = "GET /a HTTP/1.1\r\nHost: alpha\r\n\r\n";
    informant.InspectBuffer(request.data(), 5, int(request.size()));
    EXPECT_TRUE(informant.MostWanted().IsMostWanted(5, nullptr));
    EXPECT_EQ(qmtest::CountInLog(dir_.path(), "-> CAgencyComms::StartApp - Error code = 2\n"), 2);
    EXPECT_TRUE(qmtest::LogHas(dir_.path(),
                               "-> CAgencyComms::StartApp->szPath - " + dir_.path() + "/KOVARI\n"));
    EXPECT_FALSE(qmtest::LogHas(dir_.path(), "Unable to start KOVARI"));
    EXPECT_FALSE(informant.IsConnectionBlocked(80, "x.exe"));
    EXPECT_EQ(qmtest::CountInLog(dir_.path(), "Error code = 2"), 4);
}

TEST_F(AgencyStart, ProgramThatMayNotRunLogsErrorCodeFive) {
    std::string path = dir_ / "KOVARI";
    std::ofstream(path) << "#!/bin/sh\n";
    ::chmod(path.c_str(), 0644);
    zul::CAgencyComms comms(dir_.path(), 1);
    EXPECT_FALSE(comms.StartApp());
    EXPECT_TRUE(qmtest::LogHas(dir_.path(), "-> CAgencyComms::StartApp - Error code = 5\n"));
}

TEST_F(AgencyStart, ProgramThatNeverShowsItsPresenceIsGivenUp) {
    qmtest::StartedProgram program(dir_.path(), "sleep 30");
    zul::CAgencyComms comms(dir_.path(), 2);
    EXPECT_FALSE(comms.EstablishCommunications());
    EXPECT_GT(program.Pid(), 0);
    EXPECT_TRUE(qmtest::LogHas(dir_.path(), "-> CAgencyComms::EstablishCommunications - Unable "
                                            "to start KOVARI\n"));
    EXPECT_FALSE(qmtest::LogHas(dir_.path(), "KOVARI has been started"));
}

TEST_F(AgencyStart, StartedProgramThatShowsItsPresenceIsFound) {
    qmtest::StartedProgram program(
        dir_.path(), "python3 -c \"import os,socket,time; s=socket.socket(socket.AF_UNIX); "
                     "s.bind('\\\\0VRA_Class.%d' % os.geteuid()); s.listen(64); "
                     "time.sleep(30)\"");
    zul::CAgencyComms comms(dir_.path(), 2);
    EXPECT_TRUE(comms.EstablishCommunications());
    EXPECT_GT(program.Pid(), 0);
    EXPECT_TRUE(qmtest::LogHas(dir_.path(), "-> CAgencyComms::EstablishCommunications - Need to "
                                            "start KOVARI\n"));
    EXPECT_TRUE(qmtest::LogHas(dir_.path(), "-> CAgencyComms::StartApp - Attempting to start "
                                            "KOVARI\n"));
    EXPECT_TRUE(qmtest::LogHas(dir_.path(), "-> CAgencyComms::EstablishCommunications - KOVARI "
                                            "has been started\n"));
}

} // namespace
