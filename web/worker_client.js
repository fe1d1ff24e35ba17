// The page's side of the lab's worker: every request carries an id, every reply names the request
// it answers, and a reply to a request since superseded is dropped rather than drawn. A request
// is superseded by a later one of its kind, and by any later open: the picture it was about is
// gone. A worker that ends (out of memory, most likely) is replaced by a new one.
export class WorkerClient {
    // `spawn()` makes a Worker-like object (postMessage, terminate, onmessage, onerror).
    // `onReply(reply, request)` gets the replies that are current; `onSettled(request)` follows
    // every last reply of a request, current or not (the worker is free of it); `onCrash(event,
    // lost)` follows the replacement of a worker that ended, `lost` the requests it left
    // unanswered.
    constructor(spawn, {onReply, onSettled = () => {}, onCrash = () => {}}) {
        this.spawn = spawn;
        this.onReply = onReply;
        this.onSettled = onSettled;
        this.onCrash = onCrash;
        this.nextId = 1;
        this.latest = new Map();       // kind -> the id of its latest request
        this.latestOpen = 0;
        this.outstanding = new Map();  // id -> request, until its last reply
        this.worker = this.start();
    }

    start() {
        const worker = this.spawn();
        worker.onmessage = (event) => this.receive(event.data);
        worker.onerror = (event) => {
            event.preventDefault?.();
            worker.terminate();
            const lost = [...this.outstanding.values()];
            // Ids go on counting: nothing the old worker sent can pass for the new one's.
            this.outstanding.clear();
            this.worker = this.start();
            this.onCrash(event, lost);
        };
        return worker;
    }

    // Sends request `kind` with the fields of `body`; `local` stays on the page and comes back
    // with the replies. Returns the request's id.
    send(kind, body = {}, {transfer = [], local = null} = {}) {
        const id = this.nextId++;
        const request = {id, kind, body, local, sent: performance.now()};
        this.latest.set(kind, id);
        if (kind === "open") this.latestOpen = id;
        this.outstanding.set(id, request);
        this.worker.postMessage({id, kind, ...body}, transfer);
        return id;
    }

    // Sends `kind` with the fields of `body`, which wants no reply (a buffer handed back to be
    // filled again, say).
    post(kind, body = {}, transfer = []) {
        this.worker.postMessage({kind, ...body}, transfer);
    }

    // Whether a request of `kind` awaits its last reply.
    pending(kind) {
        for (const request of this.outstanding.values()) {
            if (request.kind === kind) return true;
        }
        return false;
    }

    current(request) {
        return request.id === this.latest.get(request.kind) &&
               (request.kind === "open" || request.id > this.latestOpen);
    }

    // A reply: {request: the id it answers, last: true on a request's last reply, ...}.
    receive(reply) {
        const request = this.outstanding.get(reply.request);
        if (request === undefined) return;
        if (reply.last) this.outstanding.delete(request.id);
        if (this.current(request)) this.onReply(reply, request);
        if (reply.last) this.onSettled(request);
    }
}
