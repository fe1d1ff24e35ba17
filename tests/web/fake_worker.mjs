// A stand-in for a Worker in the page's unit tests: it records what it is sent, and answers, or
// ends as a worker out of memory does, when the test tells it to.
export class FakeWorker {
    constructor() {
        this.sent = [];
        this.terminated = false;
    }
    postMessage(message, transfer = []) {
        this.sent.push({message, transfer});
    }
    terminate() {
        this.terminated = true;
    }
    // The worker posts `data`.
    reply(data) {
        this.onmessage({data});
    }
    // The worker ends with `message`; whether the error's default was prevented.
    crash(message) {
        let prevented = false;
        this.onerror({message, preventDefault: () => (prevented = true)});
        return prevented;
    }
}
