/* A sound card for the mixer tests, built as an alsa-lib external control plugin: the control
 * elements of one of several mixer families, as their drivers present them to alsa-lib, with
 * nothing behind them.
 *
 * Configuration:
 *   ctl_type.testcard { lib "/path/libasound_module_ctl_testcard.so" }
 *   ctl.NAME { type testcard state "/path/to/state" profile "hda" }
 * `state` is the file that holds the values; every handle that opens the card, in this process or
 * another, reads and writes it, so a write through one handle is a change for all the others.
 * `profile` is the family (default "ac97"):
 *   ac97      a classic codec: Master, PCM, Line, CD and Mic with volume and switch, a Mic capture
 *             volume, Capture with volume and switch, and a recording-source selector (items Mic,
 *             CD, Line), named by `selector` with `selector_channels` values (default "Capture
 *             Source", 2 channels, both on Mic): alsa-lib's simple mixer turns a "Capture
 *             Source" into exclusive capture switches on the Mic, CD and Line elements and shows an
 *             "Input Source" as an enumerated element of its own;
 *   hda       an HD-audio codec: Master and Headphone, PCM 0..255, analog loop-back volumes and
 *             switches of Mic, Front Mic and Line, their boost volumes, Capture volume and switch,
 *             and a mono "Input Source" (items Mic, Front Mic, Line) per ADC (the second's at
 *             index 1);
 *   usb       a USB microphone interface: Speaker, Mic playback, a Mic capture volume and switch,
 *             no selector;
 *   switches  a card whose inputs each have a capture volume and a stereo capture switch of their
 *             own (Line, CD, Mic), any number of them on at once;
 *   server    a sound server's control device: Master and Capture, each a volume 0..65536 and a
 *             switch, as ALSA's pulse plugin shows them.
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

enum { kChannelsMax = 2, kElemsMax = 24 };

typedef struct {
    const char* name;
    unsigned index;
    snd_ctl_elem_type_t type;
    unsigned count;
    long min, max; /* integers */
    long initial[kChannelsMax];
    const char* const* items; /* enumerated */
    unsigned itemCount;
} Elem;

#define INT(name, count, max, left, right) \
    { name, 0, SND_CTL_ELEM_TYPE_INTEGER, count, 0, max, {left, right}, NULL, 0 }
#define BOOL(name, count, left, right) \
    { name, 0, SND_CTL_ELEM_TYPE_BOOLEAN, count, 0, 1, {left, right}, NULL, 0 }
#define ENUM(name, index, count, items, left, right)                                           \
    {                                                                                          \
        name, index, SND_CTL_ELEM_TYPE_ENUMERATED, count, 0, sizeof items / sizeof *items - 1, \
            {left, right}, items, sizeof items / sizeof *items                                 \
    }

static const char* const kAc97Items[] = {"Mic", "CD", "Line"};
static const char* const kHdaItems[] = {"Mic", "Front Mic", "Line"};

static const Elem kAc97[] = {
    INT("Master Playback Volume", 2, 31, 20, 20),
    BOOL("Master Playback Switch", 2, 1, 1),
    INT("PCM Playback Volume", 2, 255, 128, 128),
    BOOL("PCM Playback Switch", 2, 1, 1),
    INT("Line Playback Volume", 2, 31, 10, 10),
    BOOL("Line Playback Switch", 2, 0, 0),
    INT("CD Playback Volume", 2, 31, 10, 10),
    BOOL("CD Playback Switch", 2, 0, 0),
    INT("Mic Playback Volume", 1, 31, 5, 5),
    BOOL("Mic Playback Switch", 1, 0, 0),
    INT("Mic Capture Volume", 1, 15, 7, 7),
    INT("Capture Volume", 2, 63, 40, 40),
    BOOL("Capture Switch", 2, 1, 1),
    /* The selector: its name and channels come from the configuration. */
    ENUM(NULL, 0, 2, kAc97Items, 0, 0),
};

static const Elem kHda[] = {
    INT("Master Playback Volume", 2, 87, 60, 60),
    BOOL("Master Playback Switch", 2, 1, 1),
    INT("Headphone Playback Volume", 2, 87, 50, 50),
    BOOL("Headphone Playback Switch", 2, 1, 1),
    INT("PCM Playback Volume", 2, 255, 200, 180),
    INT("Front Mic Playback Volume", 2, 31, 0, 0),
    BOOL("Front Mic Playback Switch", 2, 0, 0),
    INT("Mic Playback Volume", 2, 31, 0, 0),
    BOOL("Mic Playback Switch", 2, 0, 0),
    INT("Line Playback Volume", 2, 31, 0, 0),
    BOOL("Line Playback Switch", 2, 0, 0),
    INT("Mic Boost Volume", 2, 3, 2, 2),
    INT("Front Mic Boost Volume", 2, 3, 0, 0),
    INT("Line Boost Volume", 2, 3, 0, 0),
    INT("Capture Volume", 2, 63, 39, 39),
    BOOL("Capture Switch", 2, 1, 1),
    ENUM("Input Source", 0, 1, kHdaItems, 0, 0),
    {"Capture Volume", 1, SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 63, {20, 20}, NULL, 0},
    {"Capture Switch", 1, SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, {1, 1}, NULL, 0},
    ENUM("Input Source", 1, 1, kHdaItems, 1, 1),
};

static const Elem kUsb[] = {
    INT("Speaker Playback Volume", 2, 151, 100, 90),
    BOOL("Speaker Playback Switch", 2, 1, 1),
    INT("Mic Playback Volume", 1, 32, 0, 0),
    BOOL("Mic Playback Switch", 1, 0, 0),
    INT("Mic Capture Volume", 1, 16, 12, 12),
    BOOL("Mic Capture Switch", 1, 1, 1),
    BOOL("Auto Gain Control", 1, 0, 0),
};

static const Elem kSwitches[] = {
    INT("Master Playback Volume", 2, 100, 70, 70), BOOL("Master Playback Switch", 2, 1, 1),
    INT("PCM Playback Volume", 2, 100, 60, 60),    BOOL("PCM Playback Switch", 2, 1, 1),
    INT("Line Capture Volume", 2, 100, 0, 10),     BOOL("Line Capture Switch", 2, 0, 1),
    INT("CD Capture Volume", 2, 100, 30, 30),      BOOL("CD Capture Switch", 2, 1, 0),
    INT("Mic Capture Volume", 1, 100, 50, 50),     BOOL("Mic Capture Switch", 1, 1, 1),
};

static const Elem kServer[] = {
    INT("Master Playback Volume", 2, 65536, 32768, 32768),
    BOOL("Master Playback Switch", 2, 1, 1),
    INT("Capture Volume", 2, 65536, 39322, 39322),
    BOOL("Capture Switch", 2, 1, 1),
};

typedef struct {
    const char* name;
    const Elem* elems;
    unsigned count;
} Profile;

static const Profile kProfiles[] = {
    {"ac97", kAc97, sizeof kAc97 / sizeof *kAc97},
    {"hda", kHda, sizeof kHda / sizeof *kHda},
    {"usb", kUsb, sizeof kUsb / sizeof *kUsb},
    {"switches", kSwitches, sizeof kSwitches / sizeof *kSwitches},
    {"server", kServer, sizeof kServer / sizeof *kServer},
};

typedef long State[kElemsMax][kChannelsMax];

typedef struct {
    snd_ctl_ext_t ext;
    int stateFd;
    char selector[44];
    Elem elems[kElemsMax];
    unsigned count;
    State reported; /* the values this handle last reported */
} TestCard;

static const Elem* elemOf(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key) {
    return &((const TestCard*)ext->private_data)->elems[key];
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
    return (int)((const TestCard*)ext->private_data)->count;
}

static void setId(const Elem* e, snd_ctl_elem_id_t* id) {
    snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_id_set_name(id, e->name);
    snd_ctl_elem_id_set_index(id, e->index);
}

static int elemList(snd_ctl_ext_t* ext, unsigned offset, snd_ctl_elem_id_t* id) {
    setId(elemOf(ext, offset), id);
    return 0;
}

static snd_ctl_ext_key_t findElem(snd_ctl_ext_t* ext, const snd_ctl_elem_id_t* id) {
    const TestCard* card = ext->private_data;
    const char* name = snd_ctl_elem_id_get_name(id);
    for (unsigned key = 0; key < card->count; ++key) {
        if (strcmp(name, card->elems[key].name) == 0 &&
            snd_ctl_elem_id_get_index(id) == card->elems[key].index) {
            return key;
        }
    }
    return SND_CTL_EXT_KEY_NOT_FOUND;
}

static int getAttribute(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, int* type, unsigned* acc,
                        unsigned* count) {
    *type = elemOf(ext, key)->type;
    *acc = SND_CTL_EXT_ACCESS_READWRITE;
    *count = elemOf(ext, key)->count;
    return 0;
}

static int getIntegerInfo(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* min, long* max,
                          long* step) {
    *min = elemOf(ext, key)->min;
    *max = elemOf(ext, key)->max;
    *step = 1;
    return 0;
}

static int getEnumeratedInfo(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned* items) {
    *items = elemOf(ext, key)->itemCount;
    return 0;
}

static int getEnumeratedName(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned item, char* name,
                             size_t max) {
    const Elem* e = elemOf(ext, key);
    if (item >= e->itemCount) return -EINVAL;
    snprintf(name, max, "%s", e->items[item]);
    return 0;
}

static int readValues(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* values) {
    State state;
    const int err = loadState(ext->private_data, state);
    if (err < 0) return err;
    for (unsigned c = 0; c < elemOf(ext, key)->count; ++c) values[c] = state[key][c];
    return 0;
}

static int writeValues(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, const long* values) {
    const Elem* e = elemOf(ext, key);
    State state;
    int err = loadState(ext->private_data, state);
    if (err < 0) return err;
    int changed = 0;
    for (unsigned c = 0; c < e->count; ++c) {
        if (values[c] < e->min || values[c] > e->max) return -EINVAL;
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
    for (unsigned c = 0; err == 0 && c < elemOf(ext, key)->count; ++c) {
        items[c] = (unsigned)values[c];
    }
    return err;
}

static int writeEnumerated(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned* items) {
    long values[kChannelsMax];
    for (unsigned c = 0; c < elemOf(ext, key)->count; ++c) values[c] = (long)items[c];
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
    for (unsigned key = 0; key < card->count; ++key) {
        if (memcmp(state[key], card->reported[key], sizeof state[key]) == 0) continue;
        memcpy(card->reported[key], state[key], sizeof state[key]);
        setId(&card->elems[key], id);
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
static int openState(const TestCard* card, const char* path) {
    const int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return -errno;
    if (lseek(fd, 0, SEEK_END) < (off_t)sizeof(State)) {
        State state;
        memset(state, 0, sizeof state);
        for (unsigned key = 0; key < card->count; ++key) {
            for (unsigned c = 0; c < kChannelsMax; ++c) {
                state[key][c] = card->elems[key].initial[c];
            }
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
    const char* profileName = "ac97";
    const char* selector = "Capture Source";
    long selectorChannels = 2;
    snd_config_iterator_t i, next;
    snd_config_for_each(i, next, conf) {
        snd_config_t* n = snd_config_iterator_entry(i);
        const char* key;
        if (snd_config_get_id(n, &key) < 0) continue;
        if (strcmp(key, "comment") == 0 || strcmp(key, "type") == 0 || strcmp(key, "hint") == 0) {
            continue;
        }
        if (strcmp(key, "state") == 0 && snd_config_get_string(n, &statePath) == 0) continue;
        if (strcmp(key, "profile") == 0 && snd_config_get_string(n, &profileName) == 0) continue;
        if (strcmp(key, "selector") == 0 && snd_config_get_string(n, &selector) == 0) continue;
        if (strcmp(key, "selector_channels") == 0 &&
            snd_config_get_integer(n, &selectorChannels) == 0 && selectorChannels >= 1 &&
            selectorChannels <= kChannelsMax) {
            continue;
        }
        SNDERR("testcard: unknown or malformed field %s", key);
        return -EINVAL;
    }
    if (statePath == NULL) {
        SNDERR("testcard: no state file");
        return -EINVAL;
    }
    const Profile* profile = NULL;
    for (unsigned p = 0; p < sizeof kProfiles / sizeof *kProfiles; ++p) {
        if (strcmp(profileName, kProfiles[p].name) == 0) profile = &kProfiles[p];
    }
    if (profile == NULL) {
        SNDERR("testcard: no profile %s", profileName);
        return -EINVAL;
    }

    TestCard* card = calloc(1, sizeof *card);
    if (card == NULL) return -ENOMEM;
    card->ext.poll_fd = -1;
    snprintf(card->selector, sizeof card->selector, "%s", selector);
    card->count = profile->count;
    memcpy(card->elems, profile->elems, profile->count * sizeof *profile->elems);
    for (unsigned key = 0; key < card->count; ++key) {
        if (card->elems[key].name != NULL) continue;
        card->elems[key].name = card->selector;
        card->elems[key].count = (unsigned)selectorChannels;
    }
    card->stateFd = openState(card, statePath);
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
