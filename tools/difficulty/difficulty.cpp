// How the computer's levels play: many seeded matches of a team at each level against a team
// of Normal computer players, the level team on either side in turn. Prints the points and
// matches the level team won. Run it under a display (the match builds its textures):
//   xvfb-run -a build/tibrel_difficulty [matches per level, default 40] [points a round, default 5]
//   [levels to play, e.g. 02 for Easy and Hard; default all]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <SDL/SDL.h>
#include "game.h"
#include "main.h"
#include "player.h"
#include "random.h"

namespace {

const int STEP_LIMIT = 200000;   // an hour of play: a match that never ends counts as unfinished

struct tally {
    long points[2] = { 0, 0 };   // the level team's, the Normal team's
    int won = 0;
    int played = 0;
    int unfinished = 0;
    long steps = 0;
};

// one match from seed with the level team on side levelSide
void playMatch(unsigned long long seed, int level, int levelSide, tally& t)
{
    seedGenerators(seedsFromNumber(seed));
    game* g = new game();
    g_thegame = g;
    g->gameMode = 0;   // Classic: no power-ups to blur the picture
    for (int i = 0; i < 4; i++)
        g->players[i]->level = i / 2 == levelSide ? level : DIFF_NORMAL;
    g->event(game::EV_BEGIN, 0);
    int last[2] = { 0, 0 };
    int steps = 0;
    while (g->state != game::STATE_MATCHOVER && steps < STEP_LIMIT) {
        g->step(STEP_SECONDS);
        steps++;
        // points as they are scored; a round's end sets the scores back to 0
        for (int k = 0; k < 2; k++) {
            if (g->score[k] > last[k]) {
                t.points[k == levelSide ? 0 : 1] += g->score[k] - last[k];
            }
            last[k] = g->score[k];
        }
    }
    t.played++;
    t.steps += steps;
    if (g->state != game::STATE_MATCHOVER)
        t.unfinished++;
    else if (g->roundsWon[levelSide] > g->roundsWon[1 - levelSide])
        t.won++;
    g_thegame = nullptr;
    delete g;
}

}

int main(int argc, char** argv)
{
    const int matches = argc > 1 ? atoi(argv[1]) : 40;
    WINSCORE = argc > 2 ? atoi(argv[2]) : 5;
    if (matches < 1 || WINSCORE < 1) {
        fprintf(stderr, "usage: %s [matches per level] [points a round]\n", argv[0]);
        return 2;
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0 || !SDL_SetVideoMode(64, 64, 0, SDL_OPENGL)) {
        fprintf(stderr, "tibrel_difficulty: no OpenGL window (run it under xvfb-run): %s\n",
                SDL_GetError());
        return 1;
    }
    openConfigStore();
    static const char* const names[3] = { "Easy", "Normal", "Hard" };
    printf("%d matches per level against Normal, rounds of %d points, Classic\n", matches, WINSCORE);
    printf("%-7s %13s %8s %13s %9s\n", "level", "points won", "share", "matches won", "unfinished");
    for (int level = DIFF_EASY; level <= DIFF_HARD; level++) {
        if (argc > 3 && !strchr(argv[3], '0' + level))
            continue;
        tally t;
        for (int m = 0; m < matches; m++)
            playMatch(1000 + m, level, m % 2, t);
        const long all = t.points[0] + t.points[1];
        printf("%-7s %6ld-%-6ld %7.1f%% %6d of %-4d %9d\n", names[level], t.points[0],
               t.points[1], all ? 100.0 * t.points[0] / all : 0.0, t.won, t.played, t.unfinished);
        fflush(stdout);
    }
    closeConfigStore();
    SDL_Quit();
    return 0;
}
