// Names a host might pass that are not plain media files: URLs, protocol forms, devices, a
// FIFO, very long names and bytes that are not UTF-8. Each one that names no local media file
// plays as black or silence for its span; the session keeps its length and nothing outside
// the given name is read (no connection is made, no pipe is opened).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "tests/hostile/HostileSession.h"
#include "tests/support/media/TestMedia.h"

namespace hostile {
namespace {

// A TCP port on the loopback that nobody serves: a connection attempt shows as a pending
// connection on the listening socket.
class Listener {
  public:
    Listener() {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
            listen(fd_, 16) == 0 &&
            getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(address.sin_port);
        }
    }
    ~Listener() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    int port() const { return port_; }
    bool SomeoneConnected() const {
        const int connection = accept(fd_, nullptr, nullptr);
        if (connection >= 0) {
            close(connection);
            return true;
        }
        return false;
    }

  private:
    int fd_ = -1;
    int port_ = 0;
};

TEST(HostileNamesTest, UrlsConnectNowhereAndPlayAsBlackAndSilence) {
    Listener listener;
    ASSERT_GT(listener.port(), 0);
    const std::string host = "127.0.0.1:" + std::to_string(listener.port());
    for (const std::string& name : std::vector<std::string>{
             "http://" + host + "/clip.mp4", "https://" + host + "/clip.mp4", "tcp://" + host,
             "rtmp://" + host + "/live/clip", "rtsp://" + host + "/clip", "udp://" + host,
             "ftp://" + host + "/clip.mp4", "hls+http://" + host + "/list.m3u8"}) {
        const Outcome outcome = Play(name, name, 1000);
        ExpectBlankSession(outcome, 1000, name);
    }
    EXPECT_FALSE(listener.SomeoneConnected());
}

TEST(HostileNamesTest, ProtocolFormsOverARealFileAreRefusedAsBlackAndSilence) {
    const testmedia::Files& media = testmedia::Media();
    for (const std::string& name : std::vector<std::string>{
             "concat:" + media.av + "|" + media.av, "subfile,,start,0,end,0,,:" + media.av,
             "cache:" + media.av, "crypto:" + media.av, "async:" + media.av, "pipe:0",
             "fd:" + std::to_string(STDIN_FILENO), "data:video/mp4;base64,AAAA",
             "lavfi:movie=" + media.av, "lavfi:amovie=" + media.av, media.playlist,
             media.concatList}) {
        const Outcome outcome = Play(name, name, 1000);
        ExpectBlankSession(outcome, 1000, name);
    }
}

TEST(HostileNamesTest, DevicesAndAFifoWithoutAWriterAreNotReadAndPlayAsBlack) {
    const Scratch scratch;
    const std::string fifo = scratch.File("pipe.mp4");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& name :
         std::vector<std::string>{"/dev/zero", "/dev/urandom", "/dev/null", "/dev/stdin", fifo}) {
        const Outcome outcome = Play(name, name, 1000, [&fifo] {
            // A reader on the FIFO would let a non-blocking writer open it.
            const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) {
                close(writer);
                return false;
            }
            return errno == ENXIO;
        });
        ExpectBlankSession(outcome, 1000, name);
        EXPECT_TRUE(outcome.watchHeld) << name << ": the FIFO was opened for reading";
    }
}

TEST(HostileNamesTest, AHundredKilobyteNameIsCopiedAndPlaysAsBlack) {
    const std::string longName = "/tmp/" + std::string(100 * 1024, 'a') + ".mp4";
    const Outcome outcome = Play(longName, longName, 1000);
    ExpectBlankSession(outcome, 1000, "100 KB name");

    std::string longGraph = "lavfi:testsrc2=size=160x120:rate=25:duration=1:";
    longGraph += std::string(100 * 1024, 'x');
    const Outcome graph = Play(longGraph, longGraph, 1000);
    ExpectBlankSession(graph, 1000, "100 KB lavfi graph");
}

// File names are bytes: a real file whose name is not UTF-8 plays; one that does not exist
// is black.
TEST(HostileNamesTest, NamesThatAreNotUtf8AreBytesOnThisSystem) {
    const testmedia::Files& media = testmedia::Media();
    const Scratch scratch;
    const std::string name =
        scratch.CopyIn(media.videoOnly, "clip-\xff\xfe\xc0\x80-\xed\xa0\x80.mkv");
    ASSERT_FALSE(name.empty());
    const Outcome plays = Play(name, "", 1000);
    ExpectExactCounts(plays, 1000, "existing non-UTF-8 name");
    EXPECT_FALSE(plays.allBlack) << "the file behind a non-UTF-8 name was not played";

    const Outcome missing = Play(scratch.File("\x80\x81\xfe\xff.mp4"), "\xc3\x28\xa0\xa1", 1000);
    ExpectBlankSession(missing, 1000, "missing non-UTF-8 name");
}

}  // namespace
}  // namespace hostile
