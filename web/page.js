// SPDX-License-Identifier: GPL-3.0-or-later
// The page and Web MIDI: the controls, the ports, the browser's storage and files. Messages,
// setup files, stored values, names and the cable's pace all come from the converter's core.
'use strict';

(async () => {
    const $ = (id) => document.getElementById(id);
    const problem = $('problem');
    // What keeps the page from its work; `kind` 'send' for a change that did not arrive, which
    // goes as soon as one arrives again.
    const say = (text, kind = '') => {
        problem.textContent = text;
        problem.hidden = !text;
        problem.dataset.kind = kind;
    };
    const tell = (text) => {
        $('note').textContent = text;
    };

    const core = await createCore();
    const kStore = 'RDN417_V28';
    const kNoOutput = 'No MIDI Output Device';
    const kNoInput = 'No MIDI Input Device';
    const kDefaults = {channel: 0, noteRef: 12, pitchTable: false, auxFromController: true,
                       auxController: -1};

    // ---- The controls and the setup they show.
    const controllerList = $('controller-list');
    for (const text of core.controllerItems())
        controllerList.add(new Option(text));

    // A typed channel is kept to 1..16, as the window's pot keeps it.
    const channelShown = () => {
        const typed = Math.round(Number($('channel').value));
        return Number.isFinite(typed) ? Math.min(16, Math.max(1, typed)) : 1;
    };
    const setupShown = () => ({
        channel: channelShown() - 1,
        noteRef: Number($('noteref').value),
        pitchTable: $('table').checked,
        auxFromController: $('controller').checked,
        auxController: controllerList.selectedIndex - 1,
    });
    const showNoteRef = () => {
        const name = core.noteName(Number($('noteref').value));
        $('noteref-name').value = name;
        $('noteref').setAttribute('aria-valuetext', name);
    };
    const show = (setup) => {
        $('channel').value = setup.channel + 1;
        $('noteref').value = setup.noteRef;
        (setup.pitchTable ? $('table') : $('voct')).checked = true;
        (setup.auxFromController ? $('controller') : $('velocity')).checked = true;
        controllerList.selectedIndex = setup.auxController + 1;
        showNoteRef();
    };

    // ---- The browser's storage: the desktop's values, under its names.
    let stored = {};
    const storageProblem = (error) =>
        `The settings cannot be kept in this browser (${error.name}: ${error.message}): ` +
        'they are lost when the page closes. Allow this site to store data, or free some space.';
    try {
        stored = JSON.parse(localStorage.getItem(kStore) || '{}') || {};
    } catch (error) {
        say(storageProblem(error));
    }
    const remember = () => {
        try {
            localStorage.setItem(kStore, JSON.stringify({
                ...core.storedOf(setupShown()),
                midiOUTName: outName,
                midiINName: inName,
                SendAllOnOpen: $('send-on-open').checked ? 1 : 0,
            }));
        } catch (error) {
            say(storageProblem(error));
        }
    };
    show(core.setupOfStored(stored, kDefaults));
    $('send-on-open').checked = stored.SendAllOnOpen === 1;
    let outName = typeof stored.midiOUTName === 'string' ? stored.midiOUTName : '';
    let inName = typeof stored.midiINName === 'string' ? stored.midiINName : '';

    // ---- Lights.
    const flash = (light) => {
        light.classList.add('lit');
        clearTimeout(light.timer);
        light.timer = setTimeout(() => light.classList.remove('lit'), 60);
    };

    // ---- Sending: every message leaves through the core's cable pacer.
    let access = null;
    let output = null;
    let input = null;
    let failureSaid = false;
    const failed = (reason) => {
        if (failureSaid)
            return;
        failureSaid = true;
        say(`${reason}\n\nThe change did not reach the converter: it was for the MIDI output ` +
            `port "${outName}". Check that the converter's MIDI interface is connected and ` +
            'switched on (the page uses the port again as soon as it is back), or pick its ' +
            'port as "Out", then use Send all.', 'send');
    };
    // `at`: when the cable is free for the message, on the page's clock; past for a free cable.
    // Returns when the message started, or -1 when it was not sent.
    const transmit = (bytes, at) => {
        if (!output || output.state !== 'connected') {
            failed(outName ? `The MIDI output "${outName}" is not connected.`
                           : 'No MIDI output port is chosen.');
            return -1;
        }
        try {
            output.send(bytes, at);
            flash($('light-out'));
            if (problem.dataset.kind === 'send')
                say('');
            return Math.max(at, performance.now());
        } catch (error) {
            failed(`${error.name}: ${error.message}`);
            return -1;
        }
    };
    const pacer = new core.Pacer(transmit);
    let timer = 0;
    // The browser holds a timer set from a timer's callback back to at least 4 ms after a few
    // in a row, longer than a message takes on the cable: the next timer is set from a message
    // task instead, which starts a new chain.
    const hop = new MessageChannel();
    const schedule = () => {
        clearTimeout(timer);
        const due = pacer.nextDue();
        if (due < 0)
            return;
        timer = setTimeout(() => {
            pacer.sendDue();
            hop.port2.postMessage(null);
        }, Math.max(0, due - performance.now()));
    };
    hop.port1.onmessage = schedule;
    // One user action: its failure is said once.
    const send = (messages) => {
        failureSaid = false;
        for (const message of messages)
            pacer.send(message);
        schedule();
    };
    const sendParameter = (code, value) => {
        if ($('realtime').checked)
            send([core.parameterMessage(setupShown().channel, code, value)]);
    };
    const sendAll = () => send(core.setupMessages(setupShown()));

    // ---- The controls' changes.
    $('noteref').addEventListener('input', () => {
        showNoteRef();
        sendParameter(core.codeNoteRef, Number($('noteref').value));
    });
    // Kept once a drag ends or a key has stepped, not at every pointer move.
    $('noteref').addEventListener('change', remember);
    $('channel').addEventListener('change', () => {
        $('channel').value = channelShown();
        remember();
    });
    for (const id of ['voct', 'table', 'velocity', 'controller']) {
        $(id).addEventListener('change', () => {
            sendParameter(core.codeModeFlags, core.modeFlags(setupShown()));
            remember();
        });
    }
    controllerList.addEventListener('change', () => {
        if (controllerList.selectedIndex > 0)
            sendParameter(core.codeAuxController, controllerList.selectedIndex - 1);
        remember();
    });
    $('test').addEventListener('change', () => {
        const typed = Math.round(Number($('test').value));
        $('test').value = Number.isFinite(typed) ? Math.min(127, Math.max(0, typed)) : 0;
    });
    $('test').addEventListener('input', () => {
        const value = Number($('test').value);
        if (controllerList.selectedIndex > 0 && Number.isInteger(value) && value >= 0 && value <= 127)
            send([core.controlChange(setupShown().channel, controllerList.selectedIndex - 1, value)]);
    });
    $('send-all').addEventListener('click', sendAll);
    $('send-on-open').addEventListener('change', remember);

    // ---- Learning from the input.
    const learners = ['learn-channel', 'learn-noteref', 'learn-controller'].map($);
    const armed = (button) => button.getAttribute('aria-pressed') === 'true';
    const arm = (button, on) => button.setAttribute('aria-pressed', on ? 'true' : 'false');
    const showLearning = () => {
        const waiting = learners.filter(armed).map((button) => button.textContent);
        $('learning').textContent = waiting.length === 0 ? ''
            : `${waiting.join(', ')}: play on "${inName}"; Escape ends it.`;
    };
    for (const button of learners) {
        button.addEventListener('click', () => {
            arm(button, !armed(button));
            showLearning();
        });
    }
    document.addEventListener('keydown', (event) => {
        if (event.key === 'Escape') {
            learners.forEach((button) => arm(button, false));
            showLearning();
        }
    });
    const learn = (data) => {
        const status = data[0] & 0xF0;
        const noteOn = status === 0x90 && data.length > 2 && data[2] > 0;
        if (noteOn && armed(learners[0])) {
            arm(learners[0], false);
            $('channel').value = (data[0] & 0x0F) + 1;
        }
        if (noteOn && armed(learners[1])) {
            arm(learners[1], false);
            $('noteref').value = data[1];
            showNoteRef();
            sendParameter(core.codeNoteRef, data[1]);
        }
        if (status === 0xB0 && armed(learners[2])) {
            arm(learners[2], false);
            controllerList.selectedIndex = data[1] + 1;
            sendParameter(core.codeAuxController, data[1]);
            if (!$('controller').checked) {
                $('controller').checked = true;
                sendParameter(core.codeModeFlags, core.modeFlags(setupShown()));
            }
        }
        showLearning();
        remember();
    };

    // ---- Ports, by name, following the devices as they come and go.
    const fill = (select, ports, chosen, none) => {
        select.replaceChildren();
        for (const port of ports)
            select.add(new Option(port.name, port.name, false, port.name === chosen));
        if (chosen && !ports.some((port) => port.name === chosen))
            select.add(new Option(`${chosen} (not connected)`, chosen, false, true));
        if (select.options.length === 0)
            select.add(new Option(none, ''));
        return select.value;
    };
    const openPorts = () => {
        const outputs = [...access.outputs.values()];
        const inputs = [...access.inputs.values()];
        outName = fill($('out'), outputs, outName || (outputs[0] ? outputs[0].name : ''), kNoOutput);
        inName = fill($('in'), inputs, inName || (inputs[0] ? inputs[0].name : ''), kNoInput);
        const newOutput = outputs.find((port) => port.name === outName) || null;
        const newInput = inputs.find((port) => port.name === inName) || null;
        if (input !== newInput) {
            if (input)
                input.onmidimessage = null;
            input = newInput;
            if (input) {
                input.onmidimessage = (event) => {
                    flash($('light-in'));
                    learn(event.data);
                };
            }
        }
        learners.forEach((button) => {
            button.disabled = !input;
        });
        if (output !== newOutput) {
            output = newOutput;
            if (output && $('send-on-open').checked)
                sendAll();
        }
        if (outputs.length === 0)
            say('There is no MIDI output port, so no change reaches the converter. Connect the ' +
                "converter's MIDI interface and switch it on; its port is listed as \"Out\" as " +
                'soon as it is connected.');
        else if (output && problem.textContent.startsWith('There is no MIDI output port'))
            say('');
        remember();
    };
    $('out').addEventListener('change', () => {
        outName = $('out').value;
        pacer.flush();
        openPorts();
    });
    $('in').addEventListener('change', () => {
        inName = $('in').value;
        openPorts();
    });

    // ---- Setup files: the desktop's bytes and checks.
    const openFile = async (file) => {
        const bytes = new Uint8Array(await file.arrayBuffer());
        const read = core.readSetupFile(file.name, bytes, setupShown());
        if (read.error) {
            say(read.error);
            return;
        }
        say('');
        show(read.setup);
        remember();
        sendAll();
        tell(read.note || `${file.name} opened and sent.`);
    };
    $('open-file').addEventListener('change', () => {
        const file = $('open-file').files[0];
        if (file)
            openFile(file);
        $('open-file').value = '';
    });
    document.addEventListener('dragover', (event) => event.preventDefault());
    document.addEventListener('drop', (event) => {
        event.preventDefault();
        const file = event.dataTransfer.files[0];
        if (file)
            openFile(file);
    });
    $('save').addEventListener('click', () => {
        const blob = new Blob([core.setupFileBytes(setupShown(), false)],
                              {type: 'application/octet-stream'});
        const link = document.createElement('a');
        link.href = URL.createObjectURL(blob);
        link.download = 'rdn417-setup.syx';
        link.click();
        setTimeout(() => URL.revokeObjectURL(link.href), 0);
    });

    // ---- MIDI access, asked for as the page opens.
    // Ready with the ports listed: since the navigation began, on the page's clock.
    const ready = () => {
        document.body.dataset.readyAt = performance.now().toFixed(1);
        document.body.dataset.ready = 'true';
    };
    if (!navigator.requestMIDIAccess) {
        say('This browser has no Web MIDI, so the page cannot reach the converter: open it in ' +
            'Chrome, Edge, Opera or Firefox (Safari has no Web MIDI).');
        ready();
    } else {
        try {
            access = await navigator.requestMIDIAccess({sysex: true});
            access.onstatechange = openPorts;
            openPorts();
        } catch (error) {
            say(`MIDI access was refused (${error.name}), so the page cannot reach the ` +
                "converter: allow this site's MIDI devices, with System Exclusive messages, " +
                "in the browser's site settings, then reload the page.");
        }
        ready();
    }
    if ('serviceWorker' in navigator && window.isSecureContext)
        navigator.serviceWorker.register('service-worker.js');
})();
