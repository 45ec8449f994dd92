#ifndef TIBREL_GAME_H
#define TIBREL_GAME_H

#include <string>
#include "gameobject.h"
#include <string>
#include <vector>
#include "playfield.h"

class playfield;
class net;
class player;
class ball;
class powerupobject;

extern int WINSCORE;                      // points that win a round
extern const vector3d starting_position[4];
extern const vector3d passing_position[4];
extern const vector3d secondary_position[4];

// The match: owns net, court, ball and players, keeps the score and referees the rally.
class game : public gameobject, public sandoverlay {
public:
    enum gamestate { STATE_PLAYING = 0, STATE_SERVING = 2, STATE_MATCHOVER = 3 };
    enum gameevent {
        EV_NONE = 0,
        EV_BEGIN = 1,
        EV_SIDECHANGE = 2,
        EV_NET = 3,
        EV_OUT = 4,
        EV_IN = 5,
        EV_TOOMANYHITS = 6,
        EV_MATCHOVER = 7,
        EV_ROUNDOVER = 8,
        EV_UNUSED = 9,
        EV_NEWRALLY = 10
    };
    enum aitype { AI_BALL = 0, AI_HOME = 1, AI_SUPPORT = 2 };

    static const char* const eventTexts[11];

    playfield* theField;
    net* theNet;
    gameobject* homeMarkers[4];
    player* players[4];
    ball* theBall;
    int debugParticles;       // 0 ... 1024
    player* lastHitter;
    gameobject* passMarkers[4];
    gameobject* supportMarkers[4];
    int score[2];
    int touches;
    int roundsWon[2];
    int gameMode;             // 0 Classic, 1 Arcade, 2 Extreme!
    int difficulty;           // the computer's level (difficulty), for teams without a human
    int lastHitterIndex;
    int servingTeam;
    int possessionTeam;
    int ballSide;
    bool slowMotion;
    gamestate state;
    float clock;
    float pendingDelay;
    float camX;
    float camXTarget;
    float zoom;
    float zoomTarget;
    float serveTimer;
    gameevent pendingEvent;
    std::vector<powerupobject*> pickups;   // the children that are pickups, in adoption order
    // while a replay is watched, the label shown under the court ("REPLAY  1:23"); no hint
    // aimed at a player shows then. Drawn only: the match never reads it.
    std::string replayLabel;
    // the label over the finished frame, after it was kept and captured: a video made of a
    // replay shows the match alone
    void drawReplayLabel();

    game();
    ~game() override;

    void draw() override;
    void drawThis() override;
    void drawThisPost() override;
    void step(float dt) override;
    void adopted(gameobject* child) override;
    void released(gameobject* child) override;
    virtual void setController(int i, controller* c);
    using gameobject::setController;
    // the computer players of a team without a human play at level; a human's computer mate
    // plays as Normal. Applied again whenever a controller changes.
    void setDifficulty(int level);

    void event(gameevent e, float delay);
    void teamScore(int team);
    void setState(gamestate s);
    void setPlayerAI(int i, aitype role);
    int getClosestPlayer(int team);
    player* getOtherPlayer(player* p);
    void overNetCheck();
    void ballIsHit(int i);
    bool gameAtNet();

    // pieces of the step and the events, in the order the step runs them
    void serveStep(float dt);
    void rallyStep(float dt);
    // player i plays the ball at b if it touches it; true when it did
    bool playContact(int i, const vector3d& b, const vector3d& jitter);
    void netBounce();
    void retarget();
    void powerupPhase();
    void rallyReset();
    void sideChange();

    // the court, venue and ambience of the current time of day, for a match that runs without
    // the begin event ("-play"); the marks in the sand stay
    void applyDaytime();
    void playAmbience();
    // 64-bit hash of everything the rest of the match depends on: the object tree (ball,
    // players, pickups, particles), the sand, touches, score, rules state and both generators
    unsigned long long stateHash();

    // camera easing, once per step of game time, so frames left undrawn do not slow it
    void easePan();
    void easeZoom();
    // the camera follows its targets and hands the zoom to the post-processing's feedback
    void stepView();

    // score board layout in window pixels: team 0 score, team 1 score, team 0 label, team 1 label
    static void scoreLayout(int w, int h, float x[4], float y[4]);
    // top-left of the centred event message of textWidth pixels
    static void messageOrigin(int w, int h, int textWidth, float& x, float& y);
    // the board's line under a team's score: "Match point" or "Round point" when its next
    // point decides, "Winner!" once it has won the match, else ""
    const char* pointCall(int team) const;
    // team colours of the board: 0 red, 1 blue, as their outfits
    static const float teamColours[2][3];
    // the player's team mate index (1, 0, 3, 2)
    static int mateOf(int i);
    // the keys that serve for the player who serves now, or null when the computer serves
    // or nobody is about to serve (empty)
    std::string serveHint() const;
    // the line shown once the match is over
    static const char* const matchOverHint;
    // rings under the ball and the players, discs under human players: drawn by the court
    // over its sand, before the figures
    void drawOnSand() override;

private:
    void drawScoreBoard();
    // a text with its top-left at (x, y), in colour (r, g, b) with a black outline
    static void drawOutlined(const char* text, float x, float y, float r, float g, float b);
    // a text centred across the window with its top at y
    static void drawCentred(const char* text, float y, float r, float g, float b);
    void emitDebugParticles();
    void applyDifficulty();
    // a computer player off Normal misses or places the ball it just played
    void skilledAim(int i, bool attack);
};

#endif
