/* A sound card for the mixer tests, built as an alsa-lib external control plugin: the elements of
 * a classic card (Master, PCM, Line, CD and Mic with volume and switch, a Mic capture volume,
 * Capture with volume and switch, and a recording-source selector), nothing behind them.
 *
 * Configuration:
 *   ctl_type.testcard { lib "/path/libasound_module_ctl_testcard.so" }
 *   ctl.NAME { type testcard state "/path/to/state" selector "Capture Source" }
 * `state` is the file that holds the values; every handle that opens the card, in this process or
 * another, reads and writes it, so a write through one handle is a change for all the others.
 * `selector` names the enumerated selector (items Mic, CD, Line): "Capture Source", which
 * alsa-lib's simple mixer turns into exclusive capture switches on the Mic, CD and Line elements,
 * or "Input Source", which it shows as an enumerated element of its own.
 *
 * Events: the poll descriptor is an inotify watch on the state file. On a change, each handle
 * compares the file with the values it last reported and reports every element that differs, its
 * own writes included, as a kernel card does.
 */
#include <alsa/asoundlib.h>
#include <alsa/control_external.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <unistd.h>

enum { kChannelsMax = 2 };

typedef struct {
    const char* name;
    snd_ctl_elem_type_t type;
    unsigned count;
    long min, max; /* integers */
    long initial;
} Elem;

static const char* const kSourceItems[] = {"Mic", "CD", "Line"};
enum { kSourceItemCount = 3 };

static const Elem kElems[] = {
    {"Master Playback Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 31, 20},
    {"Master Playback Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, 1},
    {"PCM Playback Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 255, 128},
    {"PCM Playback Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, 1},
    {"Line Playback Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 31, 10},
    {"Line Playback Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, 0},
    {"CD Playback Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 31, 10},
    {"CD Playback Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, 0},
    {"Mic Playback Volume", SND_CTL_ELEM_TYPE_INTEGER, 1, 0, 31, 5},
    {"Mic Playback Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 1, 0, 1, 0},
    {"Mic Capture Volume", SND_CTL_ELEM_TYPE_INTEGER, 1, 0, 15, 7},
    {"Capture Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 63, 40},
    {"Capture Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, 1},
    {NULL /* the selector, named by the configuration */, SND_CTL_ELEM_TYPE_ENUMERATED, 1, 0,
     kSourceItemCount - 1, 0},
};
enum { kElemCount = sizeof kElems / sizeof kElems[0], kSelector = kElemCount - 1 };

typedef long State[kElemCount][kChannelsMax];

typedef struct {
    snd_ctl_ext_t ext;
    int stateFd;
    char selector[44];
    State reported; /* the values this handle last reported */
} TestCard;

static const char* elemName(const TestCard* card, unsigned key) {
    return key == kSelector ? card->selector : kElems[key].name;
}

static int loadState(const TestCard* card, State state) {
    const ssize_t n = pread(card->stateFd, state, sizeof(State), 0);
    return n == (ssize_t)sizeof(State) ? 0 : -EIO;
}

static int storeState(const TestCard* card, State state) {
    const ssize_t n = pwrite(card->stateFd, state, sizeof(State), 0);
    return n == (ssize_t)sizeof(State) ? 0 : -EIO;
}

static void closeCard(snd_ctl_ext_t* ext) {
    TestCard* card = ext->private_data;
    close(card->stateFd);
    if (ext->poll_fd >= 0) close(ext->poll_fd);
    free(card);
}

static int elemCount(snd_ctl_ext_t* ext) {
    (void)ext;
    return kElemCount;
}

static int elemList(snd_ctl_ext_t* ext, unsigned offset, snd_ctl_elem_id_t* id) {
    snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_id_set_name(id, elemName(ext->private_data, offset));
    return 0;
}

static snd_ctl_ext_key_t findElem(snd_ctl_ext_t* ext, const snd_ctl_elem_id_t* id) {
    const char* name = snd_ctl_elem_id_get_name(id);
    for (unsigned key = 0; key < kElemCount; ++key) {
        if (strcmp(name, elemName(ext->private_data, key)) == 0) return key;
    }
    return SND_CTL_EXT_KEY_NOT_FOUND;
}

static int getAttribute(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, int* type, unsigned* acc,
                        unsigned* count) {
    (void)ext;
    *type = kElems[key].type;
    *acc = SND_CTL_EXT_ACCESS_READWRITE;
    *count = kElems[key].count;
    return 0;
}

static int getIntegerInfo(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* min, long* max,
                          long* step) {
    (void)ext;
    *min = kElems[key].min;
    *max = kElems[key].max;
    *step = 1;
    return 0;
}

static int getEnumeratedInfo(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned* items) {
    (void)ext;
    (void)key;
    *items = kSourceItemCount;
    return 0;
}

static int getEnumeratedName(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned item, char* name,
                             size_t max) {
    (void)ext;
    (void)key;
    if (item >= kSourceItemCount) return -EINVAL;
    snprintf(name, max, "%s", kSourceItems[item]);
    return 0;
}

static int readValues(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* values) {
    State state;
    const int err = loadState(ext->private_data, state);
    if (err < 0) return err;
    for (unsigned c = 0; c < kElems[key].count; ++c) values[c] = state[key][c];
    return 0;
}

static int writeValues(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, const long* values) {
    State state;
    int err = loadState(ext->private_data, state);
    if (err < 0) return err;
    int changed = 0;
    for (unsigned c = 0; c < kElems[key].count; ++c) {
        if (values[c] < kElems[key].min || values[c] > kElems[key].max) return -EINVAL;
        changed |= state[key][c] != values[c];
        state[key][c] = values[c];
    }
    if (!changed) return 0;
    err = storeState(ext->private_data, state);
    return err < 0 ? err : 1;
}

static int readInteger(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* value) {
    return readValues(ext, key, value);
}

static int writeInteger(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* value) {
    return writeValues(ext, key, value);
}

static int readEnumerated(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned* items) {
    long values[kChannelsMax];
    const int err = readValues(ext, key, values);
    for (unsigned c = 0; err == 0 && c < kElems[key].count; ++c) items[c] = (unsigned)values[c];
    return err;
}

static int writeEnumerated(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned* items) {
    long values[kChannelsMax];
    for (unsigned c = 0; c < kElems[key].count; ++c) values[c] = (long)items[c];
    return writeValues(ext, key, values);
}

static void subscribeEvents(snd_ctl_ext_t* ext, int subscribe) {
    TestCard* card = ext->private_data;
    /* Changes made before subscribing are not events. */
    if (subscribe && loadState(card, card->reported) < 0) memset(card->reported, 0, sizeof(State));
}

static int readEvent(snd_ctl_ext_t* ext, snd_ctl_elem_id_t* id, unsigned* mask) {
    TestCard* card = ext->private_data;
    char drain[4096];
    while (read(ext->poll_fd, drain, sizeof drain) > 0) {
    }
    State state;
    if (!ext->subscribed || loadState(card, state) < 0) return -EAGAIN;
    for (unsigned key = 0; key < kElemCount; ++key) {
        if (memcmp(state[key], card->reported[key], sizeof state[key]) == 0) continue;
        memcpy(card->reported[key], state[key], sizeof state[key]);
        snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
        snd_ctl_elem_id_set_name(id, elemName(card, key));
        *mask = SND_CTL_EVENT_MASK_VALUE;
        return 1;
    }
    return -EAGAIN;
}

static const snd_ctl_ext_callback_t kCallbacks = {
    .close = closeCard,
    .elem_count = elemCount,
    .elem_list = elemList,
    .find_elem = findElem,
    .get_attribute = getAttribute,
    .get_integer_info = getIntegerInfo,
    .get_enumerated_info = getEnumeratedInfo,
    .get_enumerated_name = getEnumeratedName,
    .read_integer = readInteger,
    .read_enumerated = readEnumerated,
    .write_integer = writeInteger,
    .write_enumerated = writeEnumerated,
    .subscribe_events = subscribeEvents,
    .read_event = readEvent,
};

/* Opens (creating it with the initial values when empty) the state file. */
static int openState(const char* path) {
    const int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return -errno;
    if (lseek(fd, 0, SEEK_END) < (off_t)sizeof(State)) {
        State state;
        for (unsigned key = 0; key < kElemCount; ++key) {
            for (unsigned c = 0; c < kChannelsMax; ++c) state[key][c] = kElems[key].initial;
        }
        if (pwrite(fd, state, sizeof state, 0) != (ssize_t)sizeof state) {
            close(fd);
            return -EIO;
        }
    }
    return fd;
}

SND_CTL_PLUGIN_DEFINE_FUNC(testcard) {
    (void)root;
    const char* statePath = NULL;
    const char* selector = "Capture Source";
    snd_config_iterator_t i, next;
    snd_config_for_each(i, next, conf) {
        snd_config_t* n = snd_config_iterator_entry(i);
        const char* key;
        if (snd_config_get_id(n, &key) < 0) continue;
        if (strcmp(key, "comment") == 0 || strcmp(key, "type") == 0 || strcmp(key, "hint") == 0) {
            continue;
        }
        if (strcmp(key, "state") == 0 && snd_config_get_string(n, &statePath) == 0) continue;
        if (strcmp(key, "selector") == 0 && snd_config_get_string(n, &selector) == 0) continue;
        SNDERR("testcard: unknown or malformed field %s", key);
        return -EINVAL;
    }
    if (statePath == NULL) {
        SNDERR("testcard: no state file");
        return -EINVAL;
    }

    TestCard* card = calloc(1, sizeof *card);
    if (card == NULL) return -ENOMEM;
    card->ext.poll_fd = -1;
    snprintf(card->selector, sizeof card->selector, "%s", selector);
    card->stateFd = openState(statePath);
    int err = card->stateFd;
    if (err >= 0) {
        card->ext.poll_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        err = card->ext.poll_fd < 0 ? -errno : 0;
    }
    if (err >= 0 && inotify_add_watch(card->ext.poll_fd, statePath, IN_MODIFY) < 0) err = -errno;
    if (err < 0) {
        if (card->stateFd >= 0) close(card->stateFd);
        if (card->ext.poll_fd >= 0) close(card->ext.poll_fd);
        free(card);
        return err;
    }

    card->ext.version = SND_CTL_EXT_VERSION;
    card->ext.card_idx = 0;
    strcpy(card->ext.id, "TestCard");
    strcpy(card->ext.driver, "testcard");
    strcpy(card->ext.name, "Soundscope Test Card");
    strcpy(card->ext.longname, "Soundscope Test Card (alsa-lib external control plugin)");
    strcpy(card->ext.mixername, "Soundscope Test Mixer");
    card->ext.callback = &kCallbacks;
    card->ext.private_data = card;
    err = snd_ctl_ext_create(&card->ext, name, mode);
    if (err < 0) {
        closeCard(&card->ext);
        return err;
    }
    *handlep = card->ext.handle;
    return 0;
}

SND_CTL_PLUGIN_SYMBOL(testcard)
