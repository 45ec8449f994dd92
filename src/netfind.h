#ifndef TIBREL_NETFIND_H
#define TIBREL_NETFIND_H

#include <string>
#include <vector>

typedef struct _ENetHost ENetHost;

// Finding matches on the local network. A joining machine sends the question "TIBREL?" as a
// UDP broadcast to the game's port; a host in its lobby answers on its own port with its
// name and how many machines it has. Nothing else is read from a question or an answer.

// one match found
struct netfound {
    std::string address;     // dotted IPv4
    int port = 0;
    std::string name;        // the host's
    int machines = 0;
};

// Makes the host h answer questions while open() says so; the answer carries name() and
// machines(). Called by the session for its host.
class netfindanswer {
public:
    virtual ~netfindanswer() {}
    virtual bool answering() const = 0;
    virtual std::string answerName() const = 0;
    virtual int answerMachines() const = 0;
};
void answerFinders(ENetHost* h, const netfindanswer* who);
// the host h no longer answers (before it is destroyed)
void stopAnswering(ENetHost* h);

// the answer's bytes, and reading one back: false for anything the answer never is
std::string encodeFindAnswer(const std::string& name, int machines);
bool decodeFindAnswer(const std::string& bytes, std::string& name, int& machines);

// The question asked again once a second, at most MAX_QUESTIONS times, to one address
// (the broadcast address unless told); answers are gathered as they come.
class netfinder {
public:
    static const int MAX_QUESTIONS = 60;
    // false when no socket could be had
    bool open(int port, const std::string& to = "255.255.255.255");
    ~netfinder();
    // once a frame: asks when due, reads what came
    void poll(unsigned nowMs);
    const std::vector<netfound>& found() const { return matches; }
private:
    int socket_ = -1;
    unsigned target = 0;     // network order
    int port_ = 0;
    int asked = 0;
    unsigned askedAt = 0;
    std::vector<netfound> matches;
};

#endif
