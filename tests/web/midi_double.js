// SPDX-License-Identifier: GPL-3.0-or-later
// A test double of navigator.requestMIDIAccess, put in place before the page loads: ports that
// record every message with its time, a simulated converter behind a 31,250-baud cable, ports
// that come and go, and permission refused. Driven from the test through window.midiDouble.
(() => {
    const kByteMs = 0.32;
    const listeners = new Set();
    const outputs = new Map();
    const inputs = new Map();
    let refusal = null;
    let access = null;

    // The converter behind the cable: what arrived, when, and the values it holds.
    const converter = {received: [], holds: {}};
    const take = (bytes, at) => {
        converter.received.push({bytes: [...bytes], at});
        if (bytes.length === 7 && bytes[0] === 0xF0 && bytes[1] === 0x70 && bytes[6] === 0xF7)
            converter.holds[bytes[3]] = bytes[4] + 16 * bytes[5];
    };

    class Port extends EventTarget {
        constructor(type, name) {
            super();
            this.type = type;
            this.name = name;
            this.id = `${type}-${name}`;
            this.manufacturer = 'Test';
            this.version = '1';
            this.state = 'connected';
            this.connection = 'closed';
            this.sent = [];
            this.cableFreeAt = 0;
            this.onmidimessage = null;
        }
        open() { this.connection = 'open'; return Promise.resolve(this); }
        close() { this.connection = 'closed'; return Promise.resolve(this); }
        send(data, timestamp) {
            if (this.state !== 'connected')
                throw new DOMException('The port is disconnected.', 'InvalidStateError');
            const now = performance.now();
            const start = Math.max(now, timestamp || 0, this.cableFreeAt);
            this.cableFreeAt = start + data.length * kByteMs;
            this.sent.push({bytes: [...data], at: now, timestamp: timestamp || 0});
            if (this.converter)
                take(data, this.cableFreeAt);
        }
    }

    const changed = (port) => {
        const event = new Event('statechange');
        event.port = port;
        if (access) {
            access.dispatchEvent(event);
            if (typeof access.onstatechange === 'function')
                access.onstatechange(event);
        }
    };

    window.midiDouble = {
        converter,
        outputs,
        inputs,
        refuse(name) { refusal = name; },
        addOutput(name, isConverter = false) {
            const port = outputs.get(name) || new Port('output', name);
            port.state = 'connected';
            port.converter = isConverter;
            outputs.set(name, port);
            changed(port);
            return port;
        },
        addInput(name) {
            const port = inputs.get(name) || new Port('input', name);
            port.state = 'connected';
            inputs.set(name, port);
            changed(port);
            return port;
        },
        remove(name) {
            for (const map of [outputs, inputs]) {
                const port = map.get(name);
                if (port) {
                    port.state = 'disconnected';
                    map.delete(name);
                    changed(port);
                }
            }
        },
        play(name, bytes) {
            const port = inputs.get(name);
            const event = new Event('midimessage');
            event.data = new Uint8Array(bytes);
            event.timeStamp = performance.now();
            if (typeof port.onmidimessage === 'function')
                port.onmidimessage(event);
            port.dispatchEvent(event);
        },
    };

    const live = (map) => ({
        get size() { return map.size; },
        values: () => map.values(),
        keys: () => map.keys(),
        entries: () => map.entries(),
        forEach: (f) => map.forEach(f),
        get: (id) => [...map.values()].find((port) => port.id === id),
        has: (id) => [...map.values()].some((port) => port.id === id),
        [Symbol.iterator]: () => map.entries(),
    });

    Object.defineProperty(navigator, 'requestMIDIAccess', {
        configurable: true,
        value: (options) => {
            if (refusal)
                return Promise.reject(new DOMException('Permission denied.', refusal));
            access = new EventTarget();
            access.inputs = live(inputs);
            access.outputs = live(outputs);
            access.sysexEnabled = Boolean(options && options.sysex);
            access.onstatechange = null;
            return Promise.resolve(access);
        },
    });
})();
